# The update client library: records and result codes, the libcurl
# transport, the reply parser and the Updater class.
add_library(brenvik_client STATIC
  ${CMAKE_CURRENT_LIST_DIR}/src/updater.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/transport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/reply_parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/client_paths.cpp)
if(WIN32)
  target_sources(brenvik_client PRIVATE ${CMAKE_CURRENT_LIST_DIR}/src/platform/win32/file_system.cpp)
else()
  target_sources(brenvik_client PRIVATE ${CMAKE_CURRENT_LIST_DIR}/src/platform/posix/file_system.cpp)
endif()
add_library(brenvik::client ALIAS brenvik_client)
target_include_directories(brenvik_client
  PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include
  PRIVATE ${CMAKE_CURRENT_LIST_DIR}/src)
target_link_libraries(brenvik_client
  PUBLIC brenvik::curl brenvik::jsoncpp
  PRIVATE brenvik::rules brenvik::build_flags)
target_compile_features(brenvik_client PUBLIC cxx_std_17)

if(BRENVIK_BUILD_TESTS AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/tests/CMakeLists.txt)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tests ${CMAKE_CURRENT_BINARY_DIR}/client_tests)
endif()
