# Builds the Debian package, unpacks it into a scratch folder and checks what it holds: the
# file name, the computed dependencies, the files, the metainfo, the manual pages against
# --help, the bash completion, lintian where it is installed, and the unpacked fotolyx-cli
# against the simulated camera.
# Run as: cmake -DBINARY_DIR=<build> -DSCRATCH=<folder> -DVERSION=<x.y.z> -P CheckPackage.cmake
# A missing peer tool (appstreamcli, lintian) is skipped unless FOTOLYX_REQUIRE_PEERS is set.
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed:\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

function(peer_missing tool package)
  if(DEFINED ENV{FOTOLYX_REQUIRE_PEERS})
    message(FATAL_ERROR "${tool} is missing (package ${package})")
  endif()
  message(STATUS "${tool} is missing: not checked")
endfunction()

# The package and its name.
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB -B ${SCRATCH}/out
                WORKING_DIRECTORY ${BINARY_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${out}")
endif()
run(dpkg --print-architecture)
string(STRIP "${output}" arch)
set(deb ${SCRATCH}/out/fotolyx_${VERSION}_${arch}.deb)
if(NOT EXISTS ${deb})
  file(GLOB made ${SCRATCH}/out/*.deb)
  message(FATAL_ERROR "no ${deb}; cpack made: ${made}")
endif()

# Dependencies come from the programs' libraries.
run(dpkg-deb -f ${deb} Depends)
foreach(library IN ITEMS libjpeg62-turbo libqt6widgets6 libstdc++6 libc6)
  string(FIND "${output}" "${library}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "Depends lacks ${library}: ${output}")
  endif()
endforeach()

run(dpkg-deb -c ${deb})
message(STATUS "contents of ${deb}:\n${output}")
set(root ${SCRATCH}/root)
run(dpkg-deb -x ${deb} ${root})
set(missing)
foreach(file IN ITEMS usr/bin/fotolyx usr/bin/fotolyx-cli usr/bin/fotolyx-camsim
                      usr/share/fotolyx/Fotlx.hlp usr/share/applications/fotolyx.desktop
                      usr/share/icons/hicolor/16x16/apps/fotolyx.png
                      usr/share/icons/hicolor/48x48/apps/fotolyx.png
                      usr/share/icons/hicolor/256x256/apps/fotolyx.png
                      usr/share/metainfo/org.fotolyx.Fotolyx.metainfo.xml
                      usr/share/man/man1/fotolyx.1.gz usr/share/man/man1/fotolyx-cli.1.gz
                      usr/share/man/man1/fotolyx-camsim.1.gz
                      usr/share/bash-completion/completions/fotolyx-cli
                      usr/share/doc/fotolyx/copyright usr/share/doc/fotolyx/changelog.gz)
  if(NOT EXISTS ${root}/${file})
    list(APPEND missing ${file})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "not in the package: ${missing}")
endif()

find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  run(${APPSTREAMCLI} validate --no-net ${root}/usr/share/metainfo/org.fotolyx.Fotolyx.metainfo.xml)
else()
  peer_missing(appstreamcli appstream)
endif()

# Every option each program's --help names is in its manual page, and the version is there.
foreach(program IN ITEMS fotolyx fotolyx-cli fotolyx-camsim)
  run(${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${root}/usr/bin/${program} --help)
  set(help "${output}")
  run(gzip -dc ${root}/usr/share/man/man1/${program}.1.gz)
  string(REPLACE "\\-" "-" page "${output}")
  string(REGEX MATCHALL "--[a-z][a-z-]*" options "${help}")
  list(REMOVE_DUPLICATES options)
  foreach(option IN LISTS options)
    string(FIND "${page}" "${option}" found)
    if(found EQUAL -1)
      message(FATAL_ERROR "${program}.1 does not mention ${option}")
    endif()
  endforeach()
  run(${root}/usr/bin/${program} --version)
  if(NOT output STREQUAL "${program} ${VERSION}\n" OR NOT page MATCHES "Fotolyx ${VERSION}")
    message(FATAL_ERROR "${program}: version '${output}' or its page's version is wrong")
  endif()
endforeach()

# The completion offers the commands, a command's options and the four ports.
set(completion ${root}/usr/share/bash-completion/completions/fotolyx-cli)
foreach(case IN ITEMS "g|get" "get --ov|--overwrite" "th|thumbs" "list --port C|COM1= COM2= COM3= COM4=")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 typed)
  list(GET case 1 expected)
  # Lines, not semicolons: a semicolon would split the CMake argument.
  run(bash -c "source '${completion}'\nCOMP_WORDS=(fotolyx-cli ${typed})\nCOMP_CWORD=$((\${#COMP_WORDS[@]} - 1))\n_fotolyx_cli\necho \"\${COMPREPLY[*]}\"")
  string(STRIP "${output}" output)
  if(NOT output STREQUAL expected)
    message(FATAL_ERROR "completing '${typed}' offered '${output}', expected '${expected}'")
  endif()
endforeach()

find_program(LINTIAN lintian)
if(LINTIAN)
  # Errors fail the check; warnings and notes are shown.
  execute_process(COMMAND ${LINTIAN} --tag-display-limit 0 ${deb} RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  message(STATUS "lintian:\n${out}")
  if(out MATCHES "(^|\n)E: ")
    message(FATAL_ERROR "lintian found errors")
  endif()
else()
  peer_missing(lintian lintian)
endif()

# The unpacked program works: its simulated camera beside it, no real port in reach.
file(MAKE_DIRECTORY ${SCRATCH}/dev)
run(${CMAKE_COMMAND} -E env FOTOLYX_DEVICE_FOLDER=${SCRATCH}/dev timeout 120
    ${root}/usr/bin/fotolyx-cli --simulate list)
if(NOT output MATCHES "Total: 3\n")
  message(FATAL_ERROR "the unpacked fotolyx-cli --simulate list printed:\n${output}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
message(STATUS "package checked")
