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

  find_program(BRENVIK_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/bin NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  find_program(BRENVIK_WINE_SERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine /usr/bin NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(BRENVIK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
                 @ONLY)
  # Creating the prefix takes a while and must not race between parallel tests.
  add_test(NAME wine_prefix_init COMMAND ${CMAKE_BINARY_DIR}/wine-run.sh --init)
  set_tests_properties(wine_prefix_init PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
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
#                  [LABELS <labels...>] [TIMEOUT <seconds>])
# Builds a GoogleTest program and registers it. NO_MAIN links without
# gtest_main (the program supplies its own main).
function(brenvik_add_test name)
  cmake_parse_arguments(T "NO_MAIN" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
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
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
      set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  endif()
endfunction()
