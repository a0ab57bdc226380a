# Run by the install (install(CODE), see qolt_install_configured): writes
# QOLT_WRITTEN from QOLT_TEMPLATE with the absolute, normal directories of this
# install, CMAKE_INSTALL_PREFIX being the prefix it was given (--prefix), not
# counting DESTDIR.  QOLT_LIBDIR and QOLT_INCLUDEDIR are GNUInstallDirs'
# values: relative to the prefix, or absolute.

# qolt_installed_dir(VAR dir): dir below the prefix (or dir itself when
# absolute), absolute, without ".", ".." or a trailing slash.
function(qolt_installed_dir var dir)
  get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
  cmake_path(ABSOLUTE_PATH dir BASE_DIRECTORY "${prefix}" NORMALIZE)
  string(REGEX REPLACE "(.)/+$" "\\1" dir "${dir}")
  set(${var} "${dir}" PARENT_SCOPE)
endfunction()

qolt_installed_dir(QOLT_INSTALLED_PREFIX .)
qolt_installed_dir(QOLT_INSTALLED_LIBDIR "${QOLT_LIBDIR}")
qolt_installed_dir(QOLT_INSTALLED_INCLUDEDIR "${QOLT_INCLUDEDIR}")
configure_file("${QOLT_TEMPLATE}" "${QOLT_WRITTEN}" @ONLY)
