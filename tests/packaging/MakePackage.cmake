# Makes the Debian package of a build afresh:
#   cmake -DCPACK=<cpack> -DCONFIG=<build>/CPackConfig.cmake -DOUTPUT=<folder> -P MakePackage.cmake
file(REMOVE_RECURSE ${OUTPUT})
execute_process(COMMAND ${CPACK} -G DEB --config ${CONFIG} -B ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed: ${result}")
endif()
