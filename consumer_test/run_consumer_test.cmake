# Builds and runs one consumer project of the libraries, as an outside
# project would:
#   MODE=installed  installs the build BUILD_DIR into WORK/prefix first and
#                   finds the packages there;
#   MODE=embedded   builds part of the source tree with add_subdirectory and
#                   checks that only the consumer's own outputs reach its bin/.
# Then runs PROGRAM (through EMULATOR, when one is given) and expects EXPECT
# in its output.
#   cmake -DMODE=... -DSOURCE_DIR=<consumer> -DWORK=<scratch> -DPROGRAM=<name>
#         -DEXPECT=<text> -DGENERATOR=... -DBUILD_TYPE=... [-DBUILD_DIR=...]
#         [-DBRENVIK_SOURCE_DIR=...] [-DTOOLCHAIN=...] [-DC_COMPILER=...]
#         [-DCXX_COMPILER=...] [-DSANITIZE=address,undefined] [-DEMULATOR=...]
#         [-DVERSION=<the libraries' version> -DSOVERSION=<their soname's>]
#         -P run_consumer_test.cmake
cmake_minimum_required(VERSION 3.25)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE _result OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${_result}):\n${_out}")
  endif()
  set(_output "${_out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
set(_build ${WORK}/build)
set(_args -S ${SOURCE_DIR} -B ${_build} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=${BUILD_TYPE})
if(TOOLCHAIN)
  list(APPEND _args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
else()
  list(APPEND _args -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
endif()
if(SANITIZE)
  # Libraries built with sanitizers need the runtimes in the program too.
  set(_flags "-fsanitize=${SANITIZE} -fno-omit-frame-pointer")
  list(APPEND _args "-DCMAKE_CXX_FLAGS=${_flags}" "-DCMAKE_EXE_LINKER_FLAGS=${_flags}")
endif()

if(MODE STREQUAL "installed")
  set(_prefix ${WORK}/prefix)
  run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${_prefix})
  list(APPEND _args -DCMAKE_PREFIX_PATH=${_prefix})
  if(TOOLCHAIN)
    # A cross build finds packages only below its find roots; the prefix
    # is not one of them, so each package is named where it lies.
    foreach(_package Brenvik Pellix Dorvane)
      list(APPEND _args -D${_package}_DIR=${_prefix}/lib/cmake/${_package})
    endforeach()
  endif()
elseif(MODE STREQUAL "embedded")
  list(APPEND _args -DBRENVIK_SOURCE_DIR=${BRENVIK_SOURCE_DIR})
else()
  message(FATAL_ERROR "MODE must be installed or embedded, not '${MODE}'")
endif()

run("configuring the consumer" ${CMAKE_COMMAND} ${_args})
run("building the consumer" ${CMAKE_COMMAND} --build ${_build})

if(TOOLCHAIN)
  set(_program ${_build}/bin/${PROGRAM}.exe)
else()
  set(_program ${_build}/bin/${PROGRAM})
endif()

if(MODE STREQUAL "embedded")
  # The consumer's bin/ holds its program and the one library it embeds,
  # nothing else of the tree (no other part, no copied third-party DLL).
  file(GLOB _outputs RELATIVE ${_build}/bin ${_build}/bin/*)
  list(SORT _outputs)
  if(TOOLCHAIN)
    set(_expected Pellix.dll ${PROGRAM}.exe)
  else()
    # The library under its soname, with the links a build makes to it.
    set(_expected libPellix.so libPellix.so.${SOVERSION} libPellix.so.${VERSION} ${PROGRAM})
  endif()
  list(SORT _expected)
  if(NOT _outputs STREQUAL _expected)
    message(FATAL_ERROR "the consumer's bin/ holds '${_outputs}', expected '${_expected}'")
  endif()
endif()

run("running ${PROGRAM}" ${EMULATOR} ${_program})
string(FIND "${_output}" "${EXPECT}" _at)
if(_at EQUAL -1)
  message(FATAL_ERROR "${PROGRAM} did not print '${EXPECT}':\n${_output}")
endif()
message(STATUS "${_output}")
