# The third-party DLLs that the Windows programs and libraries load at run
# time (libcurl.dll, Qt5Core.dll and whatever else the apply helper carries).
# Each is named once with brenvik_ship_dll; it is then
#  - copied into the build's bin/ at build time, before any of the project's
#    programs or libraries is linked, and again whenever its source changes
#    or the copy goes missing (only when this project is the top level: an
#    embedding project's folders stay its own, it copies the DLLs of its
#    programs with $<TARGET_RUNTIME_DLLS:...>);
#  - installed into the runtime folder beside the project's own DLLs.

# brenvik_imported_dll(<out-var> <imported target>)
# The DLL of an imported shared library, as its package names it for a
# release build (or for any configuration).
function(brenvik_imported_dll out target)
  get_target_property(_dll ${target} IMPORTED_LOCATION_RELEASE)
  if(NOT _dll)
    get_target_property(_dll ${target} IMPORTED_LOCATION)
  endif()
  if(NOT _dll OR NOT _dll MATCHES "\\.[dD][lL][lL]$")
    message(FATAL_ERROR "${target} names no DLL (found: '${_dll}')")
  endif()
  set(${out} ${_dll} PARENT_SCOPE)
endfunction()

# brenvik_ship_dll(<path>...)
function(brenvik_ship_dll)
  foreach(_dll IN LISTS ARGN)
    get_property(_shipped GLOBAL PROPERTY BRENVIK_SHIPPED_DLLS)
    if(_dll IN_LIST _shipped)
      continue()
    endif()
    set_property(GLOBAL APPEND PROPERTY BRENVIK_SHIPPED_DLLS ${_dll})
    if(BRENVIK_INSTALL)
      install(FILES ${_dll} DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
  endforeach()
endfunction()

# Adds the copy step; called once, after every part has named its DLLs.
function(brenvik_stage_runtime_dlls)
  get_property(_shipped GLOBAL PROPERTY BRENVIK_SHIPPED_DLLS)
  if(NOT _shipped OR NOT PROJECT_IS_TOP_LEVEL)
    return()
  endif()
  set(_copies "")
  foreach(_dll IN LISTS _shipped)
    get_filename_component(_name ${_dll} NAME)
    set(_copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_name})
    add_custom_command(OUTPUT ${_copy}
                       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_dll} ${_copy}
                       DEPENDS ${_dll}
                       COMMENT "Copying ${_name} into bin/"
                       VERBATIM)
    list(APPEND _copies ${_copy})
  endforeach()
  add_custom_target(brenvik_runtime_dlls ALL DEPENDS ${_copies})
  # Everything that can be started or loaded under Wine comes after the copy.
  _brenvik_depend_on_dlls(${PROJECT_SOURCE_DIR})
endfunction()

function(_brenvik_depend_on_dlls dir)
  get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(_target IN LISTS _targets)
    get_target_property(_type ${_target} TYPE)
    if(_type STREQUAL "EXECUTABLE" OR _type STREQUAL "SHARED_LIBRARY" OR _type STREQUAL "MODULE_LIBRARY")
      add_dependencies(${_target} brenvik_runtime_dlls)
    endif()
  endforeach()
  get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(_subdir IN LISTS _subdirs)
    _brenvik_depend_on_dlls(${_subdir})
  endforeach()
endfunction()
