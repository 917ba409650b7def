# Each core folder is a static library that sees only its own headers and those of the
# libraries below it. A library's include root holds a link to its own folder alone, and the
# roots of the libraries it links come with them; so "link/protocol.h" included from imaging is
# not found and the build stops there.
#
#   fotolyx_core_library(<folder> SOURCES <files> LINKS <libraries>)
function(fotolyx_core_library dir)
  cmake_parse_arguments(arg "" "" "SOURCES;LINKS" ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/include_roots/${dir})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${dir} ${root}/${dir} SYMBOLIC)
  add_library(fotolyx_${dir} STATIC ${arg_SOURCES})
  target_include_directories(fotolyx_${dir} PUBLIC ${root})
  target_link_libraries(fotolyx_${dir} PUBLIC fotolyx_options ${arg_LINKS})
endfunction()
