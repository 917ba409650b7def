# Fails unless the core libraries refuse an include from outside their reach: a file built with
# the imaging library may include imaging/ and ports/ but not link/.
# Run as: cmake -DBUILD_DIR=<build> -P CheckLayers.cmake
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target layer_probe_downward
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "An include of a lower folder did not build:\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target layer_probe_upward
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "imaging/ could include link/protocol.h")
endif()
if(NOT output MATCHES "link/protocol\\.h")
  message(FATAL_ERROR "The upward include failed, but not for want of link/protocol.h:\n${output}")
endif()
message(STATUS "An upward include is refused")
