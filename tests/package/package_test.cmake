# Run with cmake -P by the "package" test: makes the package of the build
# tree in ZEL_BUILD_DIR with cpack, installs it under ZEL_WORK_DIR (the
# Debian package with dpkg into a scratch root, the .zip unpacked), checks
# what it holds, builds hosts against it with pkg-config (Linux; the C host
# as C99) and, with the host project in ZEL_HOST_SOURCE_DIR, the examples in
# ZEL_EXAMPLES_DIR (the C one too), and runs them.
#
#   ZEL_CONFIG           the build's configuration (may be empty)
#   ZEL_VERSION          the project's version
#   ZEL_REFERENCE_PAGE   the reference's main page, whose fragment must build
#   ZEL_PACKAGE_DIR      where the package's config files go, relative to the prefix
#   ZEL_INCLUDE_DIR      where its headers go, relative to the prefix
#   ZEL_DOC_DIR          where its documents go, relative to the prefix
#   ZEL_GENERATOR        the build's generator
#   ZEL_TOOLCHAIN_FILE   the build's toolchain file, if it has one
#   ZEL_CXX_COMPILER     the build's C++ compiler, for a build without a toolchain file
#   ZEL_C_COMPILER       the build's C compiler, likewise
#   ZEL_EMULATOR         what runs the build's programs, if anything does
#   ZEL_VERSION_READER   on Windows, the program that prints a module's version resource
cmake_minimum_required(VERSION 3.20)

foreach(required ZEL_BUILD_DIR ZEL_VERSION ZEL_WORK_DIR ZEL_HOST_SOURCE_DIR ZEL_EXAMPLES_DIR
    ZEL_REFERENCE_PAGE ZEL_PACKAGE_DIR ZEL_INCLUDE_DIR ZEL_DOC_DIR ZEL_GENERATOR ZEL_CXX_COMPILER
    ZEL_C_COMPILER)
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

set(host_build ${ZEL_WORK_DIR}/host)
# Nothing left from an earlier run may stand in for what this one installs.
file(REMOVE_RECURSE ${ZEL_WORK_DIR})

set(config_args "")
set(ctest_config_args "")
if(NOT ZEL_CONFIG STREQUAL "")
  set(config_args --config ${ZEL_CONFIG})
  set(ctest_config_args -C ${ZEL_CONFIG})
endif()
zel_step("making the package" cpack --config ${ZEL_BUILD_DIR}/CPackConfig.cmake
  -B ${ZEL_WORK_DIR}/cpack ${ctest_config_args})

# What every package holds, relative to its prefix, then each target's own.
set(contents ${ZEL_INCLUDE_DIR}/ZelProcess.h ${ZEL_INCLUDE_DIR}/ZelProcessC.h
  ${ZEL_PACKAGE_DIR}/ZelProcessConfig.cmake
  lib/pkgconfig/zelprocess.pc ${ZEL_DOC_DIR}/LICENSE ${ZEL_DOC_DIR}/CHANGELOG.md
  ${ZEL_DOC_DIR}/README.md ${ZEL_DOC_DIR}/html/index.html)
set(modules ZelProcessDLL64 CZelError64 ZelString64)
if(ZEL_TOOLCHAIN_FILE)
  set(prefix ${ZEL_WORK_DIR}/zelprocess-${ZEL_VERSION}-win64)
  zel_step("unpacking the .zip" ${CMAKE_COMMAND} -E chdir ${ZEL_WORK_DIR}
    ${CMAKE_COMMAND} -E tar xf ${ZEL_WORK_DIR}/cpack/zelprocess-${ZEL_VERSION}-win64.zip)
  foreach(module ${modules})
    list(APPEND contents bin/${module}.dll lib/lib${module}.dll.a)
  endforeach()
  # The .def file from which an MSVC host makes its import library.
  list(APPEND contents bin/zelps.exe ${ZEL_PACKAGE_DIR}/mingw-w64-x86_64.cmake
    lib/ZelProcessDLL64.def)
else()
  # dpkg's own database in a root of the test's own; unpacking runs no
  # maintainer script (the loader's cache belongs to the machine).
  set(root ${ZEL_WORK_DIR}/root)
  set(prefix ${root}/usr)
  file(MAKE_DIRECTORY ${root}/var/lib/dpkg/info ${root}/var/lib/dpkg/updates)
  file(TOUCH ${root}/var/lib/dpkg/status)
  file(GLOB deb ${ZEL_WORK_DIR}/cpack/*.deb)
  zel_step("installing the Debian package" dpkg --root=${root} --unpack ${deb})
  foreach(module ${modules})
    list(APPEND contents lib/lib${module}.so)
  endforeach()
  list(APPEND contents bin/zelps share/man/man1/zelps.1)
endif()
foreach(file ${contents})
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "package test: the package has no ${file}")
  endif()
endforeach()

if(ZEL_TOOLCHAIN_FILE)
  # zelps finds itself, with the package's DLLs beside it.
  zel_step("running zelps.exe" ${ZEL_EMULATOR} ${prefix}/bin/zelps.exe zelps.exe)
  if(NOT zel_step_output MATCHES " zelps\\.exe *\n")
    message(FATAL_ERROR "package test: zelps.exe did not list itself:\n${zel_step_output}")
  endif()
  # Each module says the project's version, as Windows reads it.
  zel_step("reading the version resources" ${CMAKE_COMMAND} -E chdir ${prefix}/bin
    ${ZEL_EMULATOR} ${ZEL_VERSION_READER} ZelProcessDLL64.dll CZelError64.dll ZelString64.dll
    zelps.exe)
  set(v ${ZEL_VERSION})
  string(REGEX MATCHALL "FileVersion=${v} ProductVersion=${v} fixed=${v}\\.0/${v}\\.0\n"
    versions "${zel_step_output}")
  list(LENGTH versions count)
  if(NOT count EQUAL 4)
    message(FATAL_ERROR "package test: the version resources are not ${v}:\n${zel_step_output}")
  endif()
else()
  # Installed in a system directory, the loader finds the libraries by its
  # own search: no module carries a run path.
  file(GLOB elf_files ${prefix}/lib/lib*.so.*.*.* ${prefix}/bin/zelps)
  foreach(file ${elf_files})
    zel_step("reading ${file}" readelf -d ${file})
    if(zel_step_output MATCHES "\\((RUNPATH|RPATH)\\)[^\n]*")
      message(FATAL_ERROR "package test: ${file} carries ${CMAKE_MATCH_0}")
    endif()
  endforeach()
  # Hosts built with pkg-config alone: the examples of the class and of the
  # C interface, and the reference's getting-started fragment, which ends
  # with the walk's code's text.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_LIBDIR=${prefix}/lib/pkgconfig
    pkg-config --cflags --libs zelprocess OUTPUT_VARIABLE flags RESULT_VARIABLE status)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  file(READ ${ZEL_REFERENCE_PAGE} page)
  if(NOT status EQUAL 0 OR NOT page MATCHES "```cpp\n([^`]*)```")
    message(FATAL_ERROR "package test: no pkg-config flags (${status}) or no fragment to build")
  endif()
  file(WRITE ${ZEL_WORK_DIR}/getting_started.cpp "${CMAKE_MATCH_1}")
  # What each host is built from and with, how it runs, and what it must
  # print.
  set(list_processes_source ${ZEL_EXAMPLES_DIR}/list_processes.cpp)
  set(list_processes_compiler ${ZEL_CXX_COMPILER} -std=c++20)
  set(list_processes_run ${ZEL_WORK_DIR}/list_processes)
  set(list_processes_expected "list_processes +[^\n]*list_processes")
  set(list_processes_c_source ${ZEL_EXAMPLES_DIR}/list_processes.c)
  set(list_processes_c_compiler ${ZEL_C_COMPILER} -std=c99 -pedantic)
  set(list_processes_c_run ${ZEL_WORK_DIR}/list_processes_c)
  set(list_processes_c_expected "list_processes_c +[^\n]*list_processes_c")
  set(getting_started_source ${ZEL_WORK_DIR}/getting_started.cpp)
  set(getting_started_compiler ${ZEL_CXX_COMPILER} -std=c++20)
  set(getting_started_run ${ZEL_WORK_DIR}/getting_started)
  set(getting_started_expected "No more data is available\\.\n$")
  set(zelps_run ${prefix}/bin/zelps zelps)
  set(zelps_expected " zelps *\n")
  foreach(host list_processes list_processes_c getting_started)
    zel_step("building ${host} with pkg-config" ${${host}_compiler} -Wall -Wextra -Werror
      ${${host}_source} ${flags} -o ${${host}_run})
  endforeach()
  foreach(host list_processes list_processes_c getting_started zelps)
    zel_step("running ${host}" ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib ${${host}_run})
    if(NOT zel_step_output MATCHES "${${host}_expected}")
      message(FATAL_ERROR "package test: ${host} printed:\n${zel_step_output}")
    endif()
  endforeach()
endif()

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
  list(APPEND host_args -DCMAKE_CXX_COMPILER=${ZEL_CXX_COMPILER}
    -DCMAKE_C_COMPILER=${ZEL_C_COMPILER} -DCMAKE_PREFIX_PATH=${prefix})
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
# The C interface needs no C++20: a C++11 host reads it without a warning.
file(WRITE ${ZEL_WORK_DIR}/older_c_interface_host.cpp "#include \"ZelProcessC.h\"\n")
zel_step("reading the C interface as C++11" ${ZEL_CXX_COMPILER} -std=c++11 -pedantic -Wall
  -Wextra -Werror -fsyntax-only -I${prefix}/${ZEL_INCLUDE_DIR}
  ${ZEL_WORK_DIR}/older_c_interface_host.cpp)

zel_step("configuring the host" ${CMAKE_COMMAND} -S ${ZEL_HOST_SOURCE_DIR} -B ${host_build}
  -DZEL_EXAMPLES_DIR=${ZEL_EXAMPLES_DIR} ${host_args})
zel_step("building the host" ${CMAKE_COMMAND} --build ${host_build} ${config_args})

# The examples' own tests run them, under the toolchain's emulator if it has
# one. Natively the loader is told where the scratch root's libraries are:
# a host's run path serves only the libraries it needs itself, and the C
# host needs only ZelProcessDLL64, whose own dependencies a package in a
# system directory finds by the loader's search alone.
set(loader_env "")
if(NOT ZEL_TOOLCHAIN_FILE)
  set(loader_env ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib)
endif()
zel_step("running the host" ${loader_env} ${CMAKE_CTEST_COMMAND} --test-dir ${host_build}
  ${ctest_config_args} --no-tests=error --verbose)
message(STATUS "${zel_step_output}")
