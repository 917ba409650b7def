# Installs the build into a fresh prefix and checks what lands there.
# Run as: cmake -DBINARY_DIR=<build> -DPREFIX=<folder> -P CheckInstall.cmake
# Without desktop-file-validate the entry is only read, unless FOTOLYX_REQUIRE_PEERS is set.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

set(missing)
foreach(file IN ITEMS bin/fotolyx bin/fotolyx-cli bin/fotolyx-camsim share/fotolyx/Fotlx.hlp
                      share/applications/fotolyx.desktop
                      share/icons/hicolor/16x16/apps/fotolyx.png
                      share/icons/hicolor/48x48/apps/fotolyx.png
                      share/icons/hicolor/256x256/apps/fotolyx.png)
  if(NOT EXISTS ${PREFIX}/${file})
    list(APPEND missing ${file})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "not installed: ${missing}")
endif()
foreach(program IN ITEMS fotolyx fotolyx-cli fotolyx-camsim)
  execute_process(COMMAND test -x ${PREFIX}/bin/${program} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "bin/${program} is not executable")
  endif()
endforeach()

# The entry's keys, then the validator when it is there.
file(STRINGS ${PREFIX}/share/applications/fotolyx.desktop entry)
foreach(line IN ITEMS "Name=Fotolyx" "Exec=fotolyx %F" "Icon=fotolyx" "Type=Application"
                      "MimeType=image/jpeg;image/bmp;" "Categories=Graphics;Photography;")
  list(FIND entry "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "fotolyx.desktop lacks '${line}'")
  endif()
endforeach()
find_program(VALIDATOR desktop-file-validate)
if(VALIDATOR)
  execute_process(COMMAND ${VALIDATOR} ${PREFIX}/share/applications/fotolyx.desktop
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0 OR output MATCHES "error")
    message(FATAL_ERROR "desktop-file-validate:\n${output}")
  endif()
elseif(DEFINED ENV{FOTOLYX_REQUIRE_PEERS})
  message(FATAL_ERROR "desktop-file-validate is missing (package desktop-file-utils)")
else()
  message(STATUS "desktop-file-validate is missing: the entry was not validated")
endif()

# The installed program runs.
execute_process(COMMAND ${PREFIX}/bin/fotolyx --help RESULT_VARIABLE status OUTPUT_VARIABLE output)
if(NOT status EQUAL 0 OR NOT output MATCHES "Usage: fotolyx")
  message(FATAL_ERROR "the installed fotolyx does not run:\n${output}")
endif()
file(REMOVE_RECURSE ${PREFIX})
message(STATUS "installed and checked")
