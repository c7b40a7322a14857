# Fails when the executable EXE imports a DLL that is neither part of Windows
# nor one of HELPER_DLLS (a ;-list): the apply helper runs from a directory
# that holds only those, so any other DLL would keep it from starting.
#   cmake -DOBJDUMP=... -DEXE=... -DHELPER_DLLS=... -P check_imports.cmake
cmake_minimum_required(VERSION 3.25)

set(_windows_dlls
  advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll
  kernel32.dll msvcrt.dll ntdll.dll ole32.dll oleacc.dll oleaut32.dll
  shell32.dll shlwapi.dll user32.dll version.dll ws2_32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${EXE}
                OUTPUT_VARIABLE _dump RESULT_VARIABLE _result)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed: ${_result}")
endif()

string(TOLOWER "${HELPER_DLLS}" _helper_dlls)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" _imports "${_dump}")
set(_unexpected "")
foreach(_line IN LISTS _imports)
  string(REGEX REPLACE "^DLL Name: " "" _dll "${_line}")
  string(STRIP "${_dll}" _dll)
  string(TOLOWER "${_dll}" _dll)
  if(NOT _dll IN_LIST _windows_dlls AND NOT _dll IN_LIST _helper_dlls
     AND NOT _dll MATCHES "^api-ms-win-")
    list(APPEND _unexpected ${_dll})
  endif()
endforeach()
if(_unexpected)
  message(FATAL_ERROR "${EXE} imports DLLs that the apply helper does not carry: ${_unexpected}")
endif()
