# Test registration. Natively each GoogleTest case becomes one CTest test;
# for Windows each test program is one CTest test run under Wine (starting
# Wine per case would cost more than the tests themselves).

if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(brenvik_gtest INTERFACE)
  target_link_libraries(brenvik_gtest INTERFACE gtest gmock)
  add_library(brenvik_gtest_main INTERFACE)
  target_link_libraries(brenvik_gtest_main INTERFACE gtest_main gmock)

  # The loader and server of the target's word size: the 32-bit ones (from
  # wine32) run x86 programs in a 32-bit prefix, the 64-bit ones x64 programs.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(BRENVIK_WINE_ARCH win32)
    set(_wine_loader wine)
    set(_wine_server wineserver32)
  else()
    set(BRENVIK_WINE_ARCH win64)
    set(_wine_loader wine64)
    set(_wine_server wineserver64)
  endif()
  find_program(BRENVIK_WINE NAMES ${_wine_loader} PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
  find_program(BRENVIK_WINE_SERVER NAMES ${_wine_server} wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
  find_program(BRENVIK_XVFB Xvfb NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(BRENVIK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                 @ONLY)
  # The prefix and its display are prepared once, before any test (creating
  # the prefix takes a while and must not race between parallel tests), and
  # ended after the last one.
  add_test(NAME wine_prefix_start COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh --start)
  set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
  add_test(NAME wine_prefix_stop COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh --stop)
  set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60)
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_library(brenvik_gtest INTERFACE)
  target_link_libraries(brenvik_gtest INTERFACE GTest::gtest GTest::gmock)
  add_library(brenvik_gtest_main INTERFACE)
  target_link_libraries(brenvik_gtest_main INTERFACE GTest::gtest_main GTest::gmock)
endif()
add_library(brenvik::gtest ALIAS brenvik_gtest)
add_library(brenvik::gtest_main ALIAS brenvik_gtest_main)

# brenvik_add_test(<name> SOURCES <files...> [LIBS <targets...>] [NO_MAIN]
#                  [LABELS <labels...>] [TIMEOUT <seconds>]
#                  [FIXTURES <fixtures...>] [ENVIRONMENT <VAR=value...>]
#                  [RESOURCE_LOCK <names...>])
# Builds a GoogleTest program and registers it. NO_MAIN links without
# gtest_main (the program supplies its own main). FIXTURES are CTest fixtures
# the tests need; ENVIRONMENT is set for them; tests holding the same
# RESOURCE_LOCK never run at the same time.
function(brenvik_add_test name)
  cmake_parse_arguments(T "NO_MAIN" "TIMEOUT" "SOURCES;LIBS;LABELS;FIXTURES;ENVIRONMENT;RESOURCE_LOCK" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  if(T_NO_MAIN)
    target_link_libraries(${name} PRIVATE brenvik::gtest)
  else()
    target_link_libraries(${name} PRIVATE brenvik::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} brenvik::build_flags)
  if(CMAKE_CROSSCOMPILING)
    list(APPEND T_FIXTURES wine_prefix)
  endif()
  # Property values may be lists: each is escaped so that it stays one value.
  set(_properties TIMEOUT ${T_TIMEOUT})
  foreach(_property LABELS FIXTURES ENVIRONMENT RESOURCE_LOCK)
    if(T_${_property})
      string(REPLACE ";" "\\;" _value "${T_${_property}}")
      if(_property STREQUAL "FIXTURES")
        set(_property FIXTURES_REQUIRED)
      endif()
      list(APPEND _properties ${_property} "${_value}")
    endif()
  endforeach()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ${_properties})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${_properties})
  endif()
endfunction()

# brenvik_add_binary_check(<name> FILE <path> [DLLS <dlls...>] [MIN_WINDOWS <v>])
# For Windows builds: checks the binary FILE (a path or $<TARGET_FILE:...>) as
# it ships, with cmake/check_windows_binary.cmake; DLLS are the non-Windows
# DLLs it may import, MIN_WINDOWS the Windows version its header must name
# (default: the project's).
function(brenvik_add_binary_check name)
  cmake_parse_arguments(C "" "FILE;MIN_WINDOWS" "DLLS" ${ARGN})
  if(NOT C_MIN_WINDOWS)
    set(C_MIN_WINDOWS ${BRENVIK_WINDOWS_MIN_VERSION_TEXT})
  endif()
  if(NOT WIN32 OR NOT CMAKE_OBJDUMP)
    return()
  endif()
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    set(_release ON)
  else()
    set(_release OFF)
  endif()
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=${C_FILE} "-DDLLS=${C_DLLS}"
                   -DMIN_WINDOWS=${C_MIN_WINDOWS} -DRELEASE=${_release}
                   -P ${PROJECT_SOURCE_DIR}/cmake/check_windows_binary.cmake)
endfunction()

# brenvik_add_symbol_check(<name> TARGET <library> [EXPORTS <names...>]
#                          [NOT_EXPORTED <names...>] [IMPORTS <names...>])
# Checks the library's export and import tables with
# cmake/check_library_symbols.cmake (objdump for Windows, nm elsewhere).
function(brenvik_add_symbol_check name)
  cmake_parse_arguments(C "" "TARGET" "EXPORTS;NOT_EXPORTED;IMPORTS" ${ARGN})
  if(WIN32)
    set(_tool ${CMAKE_OBJDUMP})
  else()
    set(_tool ${CMAKE_NM})
  endif()
  if(NOT _tool)
    return()
  endif()
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -DTOOL=${_tool} -DFILE=$<TARGET_FILE:${C_TARGET}>
                   "-DEXPORTS=${C_EXPORTS}" "-DNOT_EXPORTED=${C_NOT_EXPORTED}" "-DIMPORTS=${C_IMPORTS}"
                   -P ${PROJECT_SOURCE_DIR}/cmake/check_library_symbols.cmake)
endfunction()
