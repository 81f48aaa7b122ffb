# Run by cpack before it makes a package: builds the reference of
# the build tree and puts it in the package, so that the package always holds
# the reference of the headers it ships.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${CPACK_ZEL_BINARY_DIR} --target reference
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the reference did not build (${status})")
endif()
file(COPY ${CPACK_ZEL_BINARY_DIR}/docs/html DESTINATION
  ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_ZEL_DOCDIR})
