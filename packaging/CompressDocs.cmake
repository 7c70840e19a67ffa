# Run by CPack on its staging tree before it makes the Debian package:
# compresses CPACK_QORVEX_GZIP_FILES (paths below the package's /usr) with
# gzip -9n, the form Debian expects (no file name or time in the header).
foreach(file IN LISTS CPACK_QORVEX_GZIP_FILES)
  set(path ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${file})
  execute_process(COMMAND ${CPACK_QORVEX_GZIP} -9nf ${path} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip ${path} failed: ${result}")
  endif()
endforeach()
