# Installs a library the way distributions and CMake clients expect it: the
# library under GNUInstallDirs, its headers, a pkg-config file, and a CMake
# package (config, version file, namespaced imported targets).  Versions come
# from the calling directory's project(VERSION).
#
# Components: Runtime holds what a program needs to run (the shared objects,
# and the plugin folder's link); Development holds the headers, the
# development link, the .pc files and the CMake packages.  With PELIDOR_INSTALL
# off (the default when the project is embedded) nothing is installed.
include(CMakePackageConfigHelpers)

# Where the plugin's link goes, below the libdir; its .pc file names it too.
set(QOLT_PLUGIN_SUBDIR pelidor/plugins)

# qolt_install_configured(TEMPLATE file DESTINATION dir COMPONENT component)
# Installs TEMPLATE (in this folder, <name>.in) as <name> in DESTINATION, with
# the directories of the install itself: the file is written when the tree is
# installed, so that `cmake --install --prefix P` gives P's own paths.  First,
# at configure time, file(GENERATE) puts in the targets' file names ($<...>);
# then, at install time, configure_file fills in the absolute, normal paths
# @QOLT_INSTALLED_PREFIX@, @QOLT_INSTALLED_LIBDIR@, @QOLT_INSTALLED_INCLUDEDIR@
# (without DESTDIR), and @PROJECT_VERSION@, @QOLT_PLUGIN_SUBDIR@.
function(qolt_install_configured)
  cmake_parse_arguments(C "" "TEMPLATE;DESTINATION;COMPONENT" "" ${ARGN})
  get_filename_component(name "${C_TEMPLATE}" NAME_WLE)
  set(generated "${CMAKE_CURRENT_BINARY_DIR}/install-time/${name}.in")
  set(written "${CMAKE_CURRENT_BINARY_DIR}/install-time/${name}")
  file(GENERATE OUTPUT "${generated}" INPUT "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${C_TEMPLATE}")
  install(CODE "set(QOLT_TEMPLATE \"${generated}\")
    set(QOLT_WRITTEN \"${written}\")
    set(QOLT_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
    set(QOLT_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
    set(PROJECT_VERSION \"${PROJECT_VERSION}\")
    set(QOLT_PLUGIN_SUBDIR \"${QOLT_PLUGIN_SUBDIR}\")
    include(\"${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QoltInstalledFile.cmake\")"
    COMPONENT ${C_COMPONENT})
  install(FILES "${written}" DESTINATION "${C_DESTINATION}" COMPONENT ${C_COMPONENT})
endfunction()

# qolt_install_library(TARGET target NAMESPACE ns:: HEADERS dir PKGCONFIG name
#                      [NO_NAMELINK] [LINK_IN subdir])
# Call it in the library's own directory.  The library goes to the libdir;
# HEADERS (a folder of include/) to the includedir.  Templates, in this
# folder: <PKGCONFIG>.pc.in and <project>-config.cmake.in.  NO_NAMELINK: no
# development link (the plugin is linked by its full name, -l:NAME).
# LINK_IN: a link in <libdir>/<subdir> to the library, for dlopen() by that
# path (Runtime).
function(qolt_install_library)
  cmake_parse_arguments(I "NO_NAMELINK" "TARGET;NAMESPACE;HEADERS;PKGCONFIG;LINK_IN" "" ${ARGN})
  if(NOT PELIDOR_INSTALL)
    return()
  endif()
  set(package ${PROJECT_NAME})
  set(cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/${package})
  if(I_NO_NAMELINK)
    set(namelink NAMELINK_SKIP)
  else()
    set(namelink NAMELINK_COMPONENT Development)
  endif()

  install(TARGETS ${I_TARGET} EXPORT ${package}-targets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime ${namelink})
  install(DIRECTORY ${I_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

  if(I_LINK_IN)
    # A relative link, made here and installed as it is, so that it holds in
    # any prefix and DESTDIR.  The plugin is named by its soname only.
    get_target_property(prefix ${I_TARGET} PREFIX)
    get_target_property(name ${I_TARGET} OUTPUT_NAME)
    get_target_property(soversion ${I_TARGET} SOVERSION)
    set(file "${prefix}${name}${CMAKE_SHARED_LIBRARY_SUFFIX}.${soversion}")
    file(RELATIVE_PATH up "/libdir/${I_LINK_IN}" "/libdir")
    string(REGEX REPLACE "/$" "" up "${up}")
    set(link "${CMAKE_CURRENT_BINARY_DIR}/link-in/${file}")
    file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/link-in")
    file(CREATE_LINK "${up}/${file}" "${link}" SYMBOLIC)
    install(FILES "${link}" DESTINATION ${CMAKE_INSTALL_LIBDIR}/${I_LINK_IN} COMPONENT Runtime)
  endif()

  install(EXPORT ${package}-targets NAMESPACE ${I_NAMESPACE} DESTINATION ${cmakedir}
          COMPONENT Development)
  # 2.x accepts any 2.y; a new major version is a new soname.
  write_basic_package_version_file(${package}-config-version.cmake
                                   COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${package}-config-version.cmake
          DESTINATION ${cmakedir} COMPONENT Development)
  qolt_install_configured(TEMPLATE ${package}-config.cmake.in DESTINATION ${cmakedir}
                          COMPONENT Development)
  qolt_install_configured(TEMPLATE ${I_PKGCONFIG}.pc.in DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
                          COMPONENT Development)
endfunction()
