# Run with cmake -P by the "package" test: installs the build tree in
# ZEL_BUILD_DIR into a fresh prefix under ZEL_WORK_DIR, configures and builds
# the host project in ZEL_HOST_SOURCE_DIR against it, with the examples in
# ZEL_EXAMPLES_DIR, and runs the examples.
#
#   ZEL_CONFIG           the build's configuration (may be empty)
#   ZEL_PACKAGE_DIR      where the package's config files go, relative to the prefix
#   ZEL_INCLUDE_DIR      where its headers go, relative to the prefix
#   ZEL_GENERATOR        the build's generator
#   ZEL_TOOLCHAIN_FILE   the build's toolchain file, if it has one
#   ZEL_CXX_COMPILER     the build's C++ compiler, for a build without a toolchain file
cmake_minimum_required(VERSION 3.20)

foreach(required ZEL_BUILD_DIR ZEL_WORK_DIR ZEL_HOST_SOURCE_DIR ZEL_EXAMPLES_DIR ZEL_PACKAGE_DIR
    ZEL_INCLUDE_DIR ZEL_GENERATOR ZEL_CXX_COMPILER)
  if(NOT DEFINED ${required} OR "${${required}}" STREQUAL "")
    message(FATAL_ERROR "package test: ${required} is not set")
  endif()
endforeach()

# Runs one step and stops the test with its output when it fails.
function(zel_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status
    OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "package test: ${what} failed (${status}):\n${output}")
  endif()
  set(zel_step_output "${output}" PARENT_SCOPE)
endfunction()

set(prefix ${ZEL_WORK_DIR}/prefix)
set(host_build ${ZEL_WORK_DIR}/host)
# Nothing left from an earlier run may stand in for what this one installs.
file(REMOVE_RECURSE ${ZEL_WORK_DIR})

set(config_args "")
set(ctest_config_args "")
if(NOT ZEL_CONFIG STREQUAL "")
  set(config_args --config ${ZEL_CONFIG})
  set(ctest_config_args -C ${ZEL_CONFIG})
endif()
zel_step("installing the build" ${CMAKE_COMMAND} --install ${ZEL_BUILD_DIR}
  --prefix ${prefix} ${config_args})

set(host_args -G ${ZEL_GENERATOR})
if(ZEL_CONFIG STREQUAL "")
  list(APPEND host_args -DCMAKE_BUILD_TYPE=RelWithDebInfo)
else()
  list(APPEND host_args -DCMAKE_BUILD_TYPE=${ZEL_CONFIG})
endif()
if(ZEL_TOOLCHAIN_FILE)
  # The toolchain file installed with the package. It confines the package
  # search to its own root, so the package is named by its directory.
  set(toolchain ${prefix}/${ZEL_PACKAGE_DIR}/mingw-w64-x86_64.cmake)
  if(NOT EXISTS ${toolchain})
    message(FATAL_ERROR "package test: the package has no toolchain file ${toolchain}")
  endif()
  list(APPEND host_args -DCMAKE_TOOLCHAIN_FILE=${toolchain}
    -DZelProcess_DIR=${prefix}/${ZEL_PACKAGE_DIR})
else()
  # Natively the package is found the way any host finds it, by its prefix.
  list(APPEND host_args -DCMAKE_CXX_COMPILER=${ZEL_CXX_COMPILER} -DCMAKE_PREFIX_PATH=${prefix})
endif()
# A host on an older standard meets the headers' own message, not errors
# from deep inside them.
file(WRITE ${ZEL_WORK_DIR}/older_standard.cpp "#include \"ZelProcess.h\"\n")
execute_process(COMMAND ${ZEL_CXX_COMPILER} -std=c++17 -fsyntax-only
  -I${prefix}/${ZEL_INCLUDE_DIR} ${ZEL_WORK_DIR}/older_standard.cpp
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status EQUAL 0 OR NOT output MATCHES "ZelProcess's headers need C\\+\\+20")
  message(FATAL_ERROR "package test: C++17 does not meet the headers' message (${status}):\n${output}")
endif()

zel_step("configuring the host" ${CMAKE_COMMAND} -S ${ZEL_HOST_SOURCE_DIR} -B ${host_build}
  -DZEL_EXAMPLES_DIR=${ZEL_EXAMPLES_DIR} ${host_args})
zel_step("building the host" ${CMAKE_COMMAND} --build ${host_build} ${config_args})

# The examples' own tests run them, under the toolchain's emulator if it has
# one.
zel_step("running the host" ${CMAKE_CTEST_COMMAND} --test-dir ${host_build}
  ${ctest_config_args} --no-tests=error --verbose)
message(STATUS "${zel_step_output}")
