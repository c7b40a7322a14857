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
add_library(Brenvik::client ALIAS brenvik_client)
add_library(brenvik::client ALIAS brenvik_client)
set_target_properties(brenvik_client PROPERTIES EXPORT_NAME client)
target_include_directories(brenvik_client
  PUBLIC $<BUILD_INTERFACE:${CMAKE_CURRENT_LIST_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
  PRIVATE ${CMAKE_CURRENT_LIST_DIR}/src)
# The public headers name neither libcurl nor JsonCpp; being a static library
# the client still hands both on to the link of its users. The build flags
# are the project's own (a static library would pass them on too).
target_link_libraries(brenvik_client
  PRIVATE brenvik::curl brenvik::jsoncpp brenvik::rules $<BUILD_INTERFACE:brenvik::build_flags>)
target_compile_features(brenvik_client PUBLIC cxx_std_17)

if(BRENVIK_BUILD_TESTS AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/tests/CMakeLists.txt)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tests ${CMAKE_CURRENT_BINARY_DIR}/client_tests)
endif()
