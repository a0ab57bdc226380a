# How each of the project's shared libraries is made: the one recipe for the
# plugin and the error library.  Versions come from the calling directory's
# project(VERSION): its major version is the soname's and the version node's.

# qolt_add_shared_library(target NAMESPACE ns:: EXPORT_NAME name
#     VERSION_SCRIPT map SOURCES ... [LIBS ...] [PLUGIN] [LINK_IN subdir]
#     HEADERS include/dir PKGCONFIG name)
# In the library's own folder:
#   - the library, with the ALIAS <ns::><EXPORT_NAME> for a parent project;
#   - include/ as its public include folder, in the build and installed;
#   - soname <prefix><target>.so.<major>;
#   - the version script, which alone decides what is exported (hidden
#     visibility is the project's default);
#   - -Bsymbolic-functions: the library's calls to its own exported functions
#     are bound at link time, never to a client's function of that name,
#     however the library is loaded;
#   - every symbol resolved at link time (QOLT_NO_UNDEFINED);
#   - its install rules (qolt_install_library).
# PLUGIN: a file named by its soname alone, <target>.so.<major>, with no
# "lib" prefix, no further version and no development link: the client loads
# it by path.  LIBS are linked privately.
function(qolt_add_shared_library target)
  cmake_parse_arguments(L "PLUGIN" "NAMESPACE;EXPORT_NAME;VERSION_SCRIPT;LINK_IN;HEADERS;PKGCONFIG"
                        "SOURCES;LIBS" ${ARGN})
  set(map ${CMAKE_CURRENT_SOURCE_DIR}/${L_VERSION_SCRIPT})
  # Absolute, so that the SOURCES property names the files from anywhere
  # (the symbol-version tests rebuild the library from it).
  set(sources "")
  foreach(source IN LISTS L_SOURCES)
    cmake_path(ABSOLUTE_PATH source)
    list(APPEND sources ${source})
  endforeach()

  add_library(${target} SHARED ${sources})
  add_library(${L_NAMESPACE}${L_EXPORT_NAME} ALIAS ${target})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${target}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    EXPORT_NAME ${L_EXPORT_NAME}
    LINK_DEPENDS ${map})
  if(L_PLUGIN)
    set_target_properties(${target} PROPERTIES PREFIX "")
    set(namelink NO_NAMELINK)
  else()
    set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION})
    set(namelink "")
  endif()
  target_link_libraries(${target} PRIVATE ${L_LIBS} qolt_warnings qolt_instrument)
  target_link_options(${target} PRIVATE
    -Wl,--version-script=${map}
    -Wl,-Bsymbolic-functions
    ${QOLT_NO_UNDEFINED})

  set(link_in "")
  if(L_LINK_IN)
    set(link_in LINK_IN ${L_LINK_IN})
  endif()
  qolt_install_library(TARGET ${target} NAMESPACE ${L_NAMESPACE} HEADERS ${L_HEADERS}
                       PKGCONFIG ${L_PKGCONFIG} ${namelink} ${link_in})
endfunction()
