# One place for the language level, the warnings and the sanitizers; every target links it.
add_library(fotolyx_options INTERFACE)
target_compile_features(fotolyx_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(fotolyx_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Wunused -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)

# Warnings stop our own builds (./test.sh, CI); a user's or a packager's build only shows them.
option(FOTOLYX_WERROR "Treat compiler warnings as errors" OFF)
if(FOTOLYX_WERROR)
  target_compile_options(fotolyx_options INTERFACE -Werror)
endif()

if(FOTOLYX_SANITIZE)
  set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(fotolyx_options INTERFACE ${sanitize_flags})
  target_link_options(fotolyx_options INTERFACE ${sanitize_flags})
endif()
