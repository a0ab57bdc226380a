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

# qolt_pc_dir(VAR dir): the .pc file's spelling of an install directory: from
# ${pcfiledir} when dir is relative to the prefix and the .pc file is too, so
# that the file relocates with the tree; absolute directories stay as given.
function(qolt_pc_dir var dir)
  if(IS_ABSOLUTE "${dir}")
    set(value "${dir}")
  elseif(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
    # The .pc file does not move with the prefix: nothing to derive.
    set(value "${CMAKE_INSTALL_PREFIX}")
    if(NOT dir STREQUAL "")
      string(APPEND value "/${dir}")
    endif()
  else()
    file(RELATIVE_PATH up "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix/${dir}")
    string(REGEX REPLACE "/$" "" up "${up}")
    set(value "\${pcfiledir}/${up}")
  endif()
  set(${var} "${value}" PARENT_SCOPE)
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
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${package}-config.cmake.in
                 ${package}-config.cmake @ONLY)
  # 2.x accepts any 2.y; a new major version is a new soname.
  write_basic_package_version_file(${package}-config-version.cmake
                                   COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${package}-config.cmake
                ${CMAKE_CURRENT_BINARY_DIR}/${package}-config-version.cmake
          DESTINATION ${cmakedir} COMPONENT Development)

  # The .pc file's directories, found from its own folder (see qolt_pc_dir).
  qolt_pc_dir(QOLT_PC_PREFIX "")
  qolt_pc_dir(QOLT_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
  qolt_pc_dir(QOLT_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
  # configure_file for the variables, then file(GENERATE) for the target's
  # file names.
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${I_PKGCONFIG}.pc.in
                 ${I_PKGCONFIG}.pc.gen @ONLY)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${I_PKGCONFIG}.pc
       INPUT ${CMAKE_CURRENT_BINARY_DIR}/${I_PKGCONFIG}.pc.gen)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${I_PKGCONFIG}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
endfunction()
