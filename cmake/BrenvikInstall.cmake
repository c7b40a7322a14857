# What `cmake --install` puts into the prefix: the libraries with their
# headers and CMake package files (Brenvik with the component "client",
# Pellix, Dorvane), the updater's programs, and on Windows the third-party
# DLLs they load (see BrenvikRuntimeDlls.cmake). Each part is installed when
# it is built, so this file names targets that may not exist.
if(NOT BRENVIK_INSTALL)
  return()
endif()
include(CMakePackageConfigHelpers)

set(_brenvik_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake)

# brenvik_install_library(<target> EXPORT <export set> NAMESPACE <package>
#                         HEADERS <include folder>)
# Installs the library (a DLL into the runtime folder, its import library
# beside the other libraries), the headers below the include folder and the
# export set's targets file, whose targets carry <package>::.
function(brenvik_install_library target)
  cmake_parse_arguments(L "" "EXPORT;NAMESPACE;HEADERS" "" ${ARGN})
  install(TARGETS ${target} EXPORT ${L_EXPORT}
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY ${L_HEADERS}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT ${L_EXPORT} NAMESPACE ${L_NAMESPACE}::
          DESTINATION ${_brenvik_package_dir}/${L_NAMESPACE})
endfunction()

# brenvik_install_link_closure(<static library> EXPORT <export set>)
# A static library hands the libraries it links on to its users' link. The
# project's own static and interface libraries among them go into the same
# export set (the archives beside the library), and as their users need them
# only for linking, their include folders are left to the build tree.
function(brenvik_install_link_closure target)
  cmake_parse_arguments(L "" "EXPORT" "" ${ARGN})
  get_target_property(_links ${target} LINK_LIBRARIES)
  foreach(_link IN LISTS _links)
    if(NOT _link OR _link MATCHES "\\$<" OR NOT TARGET ${_link})
      continue()  # a file, a flag, or wrapped for the build only
    endif()
    get_target_property(_real ${_link} ALIASED_TARGET)
    if(NOT _real)
      set(_real ${_link})
    endif()
    get_target_property(_imported ${_real} IMPORTED)
    get_target_property(_type ${_real} TYPE)
    get_property(_done GLOBAL PROPERTY BRENVIK_INSTALLED_INTERNAL)
    if(_imported OR _real IN_LIST _done OR NOT _type MATCHES "^(STATIC|INTERFACE)_LIBRARY$")
      continue()
    endif()
    set_property(GLOBAL APPEND PROPERTY BRENVIK_INSTALLED_INTERNAL ${_real})
    get_target_property(_includes ${_real} INTERFACE_INCLUDE_DIRECTORIES)
    if(_includes)
      set_property(TARGET ${_real} PROPERTY INTERFACE_INCLUDE_DIRECTORIES "$<BUILD_INTERFACE:${_includes}>")
    endif()
    install(TARGETS ${_real} EXPORT ${L_EXPORT} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
    if(_type STREQUAL "STATIC_LIBRARY")
      brenvik_install_link_closure(${_real} EXPORT ${L_EXPORT})
    endif()
  endforeach()
endfunction()

# brenvik_install_package(<package>)
# The package's config file (from cmake/packages/<package>Config.cmake.in)
# and its version file. Until 1.0 a minor version may change the interface.
function(brenvik_install_package package)
  set(_out ${PROJECT_BINARY_DIR}/packages/${package})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/packages/${package}Config.cmake.in
                                ${_out}/${package}Config.cmake
                                INSTALL_DESTINATION ${_brenvik_package_dir}/${package})
  write_basic_package_version_file(${_out}/${package}ConfigVersion.cmake
                                   VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
  install(FILES ${_out}/${package}Config.cmake ${_out}/${package}ConfigVersion.cmake
          DESTINATION ${_brenvik_package_dir}/${package})
endfunction()

if(TARGET Pellix)
  brenvik_install_library(Pellix EXPORT PellixTargets NAMESPACE Pellix
                          HEADERS ${PROJECT_SOURCE_DIR}/byte_queue/include)
  brenvik_install_package(Pellix)
endif()

if(TARGET Dorvane)
  brenvik_install_library(Dorvane EXPORT DorvaneTargets NAMESPACE Dorvane
                          HEADERS ${PROJECT_SOURCE_DIR}/capture_helper/include)
  brenvik_install_package(Dorvane)
endif()

if(TARGET brenvik_client)
  brenvik_install_library(brenvik_client EXPORT BrenvikClientTargets NAMESPACE Brenvik
                          HEADERS ${PROJECT_SOURCE_DIR}/lib/brenvik/include)
  brenvik_install_link_closure(brenvik_client EXPORT BrenvikClientTargets)
  brenvik_install_package(Brenvik)
endif()

# The updater and the update server. On Windows the updater finds the DLLs
# its apply helper carries beside itself, in the same folder.
foreach(_program example brenvik_update_server)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
