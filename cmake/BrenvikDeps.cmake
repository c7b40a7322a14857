# Third-party libraries, all from Debian: the system's -dev packages natively,
# and for Windows the libraries that scripts/build-windows-deps.sh builds from
# Debian's source packages (found through the toolchain's CMAKE_FIND_ROOT_PATH).
# Every consumer links the brenvik::* names below, whatever the platform.

find_package(Threads REQUIRED)
if(WIN32)
  # zlib goes into the executable: the apply helper carries only the DLLs of
  # BRENVIK_HELPER_DLLS, so an import of zlib1.dll would keep it from starting.
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)

if(WIN32)
  find_package(CURL CONFIG REQUIRED)
  find_package(jsoncpp CONFIG REQUIRED)
  find_path(BRENVIK_MINIZIP_INCLUDE minizip/unzip.h REQUIRED)
  find_library(BRENVIK_MINIZIP_LIB NAMES minizip REQUIRED)
  add_library(brenvik_minizip INTERFACE)
  target_include_directories(brenvik_minizip INTERFACE ${BRENVIK_MINIZIP_INCLUDE})
  target_link_libraries(brenvik_minizip INTERFACE ${BRENVIK_MINIZIP_LIB} ZLIB::ZLIB)
  add_library(brenvik_jsoncpp INTERFACE)
  target_link_libraries(brenvik_jsoncpp INTERFACE jsoncpp_static)
  # Where the shared libcurl lives; copied beside the executables so that
  # tests under Wine and the apply helper find it.
  get_target_property(_curl_dll CURL::libcurl IMPORTED_LOCATION_RELEASE)
  if(NOT _curl_dll)
    get_target_property(_curl_dll CURL::libcurl IMPORTED_LOCATION)
  endif()
  set(BRENVIK_RUNTIME_DLLS ${_curl_dll} CACHE INTERNAL "")
  file(COPY ${BRENVIK_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
else()
  find_package(CURL REQUIRED)
  find_package(jsoncpp CONFIG REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(BRENVIK_MINIZIP REQUIRED IMPORTED_TARGET minizip)
  add_library(brenvik_minizip INTERFACE)
  target_link_libraries(brenvik_minizip INTERFACE PkgConfig::BRENVIK_MINIZIP ZLIB::ZLIB)
  add_library(brenvik_jsoncpp INTERFACE)
  target_link_libraries(brenvik_jsoncpp INTERFACE jsoncpp_lib)
  set(BRENVIK_RUNTIME_DLLS "" CACHE INTERNAL "")
endif()

add_library(brenvik::curl ALIAS CURL::libcurl)
add_library(brenvik::jsoncpp ALIAS brenvik_jsoncpp)
add_library(brenvik::minizip ALIAS brenvik_minizip)
add_library(brenvik::zlib ALIAS ZLIB::ZLIB)
