# Installs a library the way distributions and CMake clients expect it: the
# library under GNUInstallDirs, a pkg-config file, and a CMake package (config,
# version file, namespaced imported targets).  Versions come from the calling
# directory's project(VERSION).
include(CMakePackageConfigHelpers)

# Where the plugin goes, below the libdir; its .pc file names it too.
set(QOLT_PLUGIN_SUBDIR pelidor/plugins)

# qolt_install_library(TARGET target NAMESPACE ns:: DESTINATION dir
#                      PKGCONFIG name [NO_NAMELINK])
# Call it in the library's own directory.  Templates, in this folder:
# <PKGCONFIG>.pc.in and <project>-config.cmake.in.  NO_NAMELINK: no
# development link (a plugin is found by its full name, never by -l).
function(qolt_install_library)
  cmake_parse_arguments(I "NO_NAMELINK" "TARGET;NAMESPACE;DESTINATION;PKGCONFIG" "" ${ARGN})
  set(package ${PROJECT_NAME})
  set(cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/${package})
  set(namelink "")
  if(I_NO_NAMELINK)
    set(namelink NAMELINK_SKIP)
  endif()

  install(TARGETS ${I_TARGET} EXPORT ${package}-targets
          LIBRARY DESTINATION ${I_DESTINATION} ${namelink})
  install(EXPORT ${package}-targets NAMESPACE ${I_NAMESPACE} DESTINATION ${cmakedir})
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${package}-config.cmake.in
                 ${package}-config.cmake @ONLY)
  # 2.x accepts any 2.y; a new major version is a new soname.
  write_basic_package_version_file(${package}-config-version.cmake
                                   COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${package}-config.cmake
                ${CMAKE_CURRENT_BINARY_DIR}/${package}-config-version.cmake
          DESTINATION ${cmakedir})

  # The .pc file's directories, relative to its prefix unless given absolute.
  if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    set(QOLT_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
  else()
    set(QOLT_PC_LIBDIR "\${exec_prefix}/${CMAKE_INSTALL_LIBDIR}")
  endif()
  if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
    set(QOLT_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
  else()
    set(QOLT_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
  endif()
  # configure_file for the variables, then file(GENERATE) for the target's
  # file names.
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${I_PKGCONFIG}.pc.in
                 ${I_PKGCONFIG}.pc.gen @ONLY)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${I_PKGCONFIG}.pc
       INPUT ${CMAKE_CURRENT_BINARY_DIR}/${I_PKGCONFIG}.pc.gen)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${I_PKGCONFIG}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
