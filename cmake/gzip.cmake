# gzip -9n IN > OUT: the best compression, without the name and time stamp,
# so that the same input always gives the same bytes.
#   cmake -DGZIP=<gzip> -DIN=<file> -DOUT=<file.gz> -P gzip.cmake
execute_process(COMMAND ${GZIP} -9n -c ${IN} OUTPUT_FILE ${OUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUT})
  message(FATAL_ERROR "gzip -9n ${IN} failed: ${result}")
endif()
