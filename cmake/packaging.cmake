# What the packages add to `cmake --install`: a pkg-config file beside the
# CMake package, the documents under share/doc/zelprocess, the Windows
# modules' version resources, and cpack's packages of a build: a Debian
# package of the Linux build, a .zip of the Windows one.
set(ZEL_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/zelprocess)

# The .pc file finds the prefix from its own place, as the CMake package does.
set(zel_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH zel_pc_prefix_from_pcdir /${zel_pc_dir} /)
string(REGEX REPLACE "/$" "" zel_pc_prefix_from_pcdir "${zel_pc_prefix_from_pcdir}")
configure_file(cmake/zelprocess.pc.in ${PROJECT_BINARY_DIR}/zelprocess.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zelprocess.pc DESTINATION ${zel_pc_dir})

install(FILES LICENSE CHANGELOG.md README.md DESTINATION ${ZEL_INSTALL_DOCDIR})
# The reference, once the "reference" target has built it (cpack builds it
# for the packages).
install(DIRECTORY ${PROJECT_BINARY_DIR}/docs/html DESTINATION ${ZEL_INSTALL_DOCDIR} OPTIONAL)

if(WIN32)
  # FileVersion and ProductVersion, in the properties Windows shows.
  enable_language(RC)
  function(zel_version_resource zel_target zel_file_description)
    get_target_property(zel_type ${zel_target} TYPE)
    if(zel_type STREQUAL "EXECUTABLE")
      set(zel_file_type VFT_APP)
      set(zel_file_name ${zel_target}.exe)
    else()
      set(zel_file_type VFT_DLL)
      set(zel_file_name ${zel_target}.dll)
    endif()
    set(zel_rc ${PROJECT_BINARY_DIR}/version/${zel_target}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${zel_rc} @ONLY)
    target_sources(${zel_target} PRIVATE ${zel_rc})
  endfunction()
  zel_version_resource(ZelProcessDLL64 "ZelProcess: the processes and threads of the system")
  zel_version_resource(CZelError64 "ZelProcess: the error holder and the codes' texts")
  zel_version_resource(ZelString64 "ZelProcess: UTF-16 strings and wildcard matching")
  zel_version_resource(zelps "zelps: the process lister")
endif()

set(CPACK_PACKAGE_NAME zelprocess)
set(CPACK_PACKAGE_VENDOR "ZelProcess developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "The processes and threads of the system, and live facts read out of them")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES OFF)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ZelProcess developers")
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  # The libraries' own dependencies (libc6, libstdc++6, libgcc-s1), a shlibs
  # file for packages built on this one, and the loader's cache refreshed on
  # installation.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
endif()
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_reference.cmake)
set(CPACK_ZEL_BINARY_DIR ${PROJECT_BINARY_DIR})
set(CPACK_ZEL_DOCDIR ${ZEL_INSTALL_DOCDIR})
include(CPack)
