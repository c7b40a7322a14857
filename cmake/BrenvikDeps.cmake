# Third-party libraries, all from Debian: the system's -dev packages natively,
# and for Windows the libraries that scripts/build-windows-deps.sh builds from
# Debian's source packages (found through the toolchain's CMAKE_FIND_ROOT_PATH).
# Every consumer links the brenvik::* names below, whatever the platform. Only
# the libraries of the parts being built are looked for.

find_package(Threads REQUIRED)

if(BRENVIK_BUILD_CLIENT)
  # The same calls find them again for users of the installed client (see
  # cmake/packages/BrenvikConfig.cmake.in).
  find_package(CURL REQUIRED)
  find_package(jsoncpp CONFIG REQUIRED)
  if(WIN32)
    # JsonCpp goes into the programs; libcurl.dll ships beside them.
    add_library(brenvik::jsoncpp ALIAS jsoncpp_static)
    brenvik_imported_dll(_curl_dll CURL::libcurl)
    set(BRENVIK_RUNTIME_DLLS ${_curl_dll})
    # The other DLLs the apply helper carries come from libcurl's folder.
    get_filename_component(_curl_dir ${_curl_dll} DIRECTORY)
    foreach(_name IN LISTS BRENVIK_HELPER_DLLS)
      if(EXISTS ${_curl_dir}/${_name})
        list(APPEND BRENVIK_RUNTIME_DLLS ${_curl_dir}/${_name})
      else()
        message(WARNING "${_name} (of BRENVIK_HELPER_DLLS) is not beside ${_curl_dll}: "
                        "the updater cannot prepare its apply helper without it")
      endif()
    endforeach()
    list(REMOVE_DUPLICATES BRENVIK_RUNTIME_DLLS)
    brenvik_ship_dll(${BRENVIK_RUNTIME_DLLS})
  else()
    add_library(brenvik::jsoncpp ALIAS jsoncpp_lib)
    set(BRENVIK_RUNTIME_DLLS "")
  endif()
  add_library(brenvik::curl ALIAS CURL::libcurl)
endif()

if(BRENVIK_BUILD_EXAMPLE)
  if(WIN32)
    # zlib goes into the executable: the apply helper carries only the DLLs of
    # BRENVIK_HELPER_DLLS, so an import of zlib1.dll would keep it from starting.
    set(ZLIB_USE_STATIC_LIBS ON)
  endif()
  find_package(ZLIB REQUIRED)
  add_library(brenvik_minizip INTERFACE)
  if(WIN32)
    find_path(BRENVIK_MINIZIP_INCLUDE minizip/unzip.h REQUIRED)
    find_library(BRENVIK_MINIZIP_LIB NAMES minizip REQUIRED)
    target_include_directories(brenvik_minizip INTERFACE ${BRENVIK_MINIZIP_INCLUDE})
    target_link_libraries(brenvik_minizip INTERFACE ${BRENVIK_MINIZIP_LIB} ZLIB::ZLIB)
  else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(BRENVIK_MINIZIP REQUIRED IMPORTED_TARGET minizip)
    target_link_libraries(brenvik_minizip INTERFACE PkgConfig::BRENVIK_MINIZIP ZLIB::ZLIB)
  endif()
  add_library(brenvik::minizip ALIAS brenvik_minizip)
  add_library(brenvik::zlib ALIAS ZLIB::ZLIB)
endif()
