# Checks one Windows binary as it ships:
#  - it imports only Windows's own DLLs and those of DLLS (a ;-list): it runs
#    from a directory that holds only those (the apply helper's copy, say),
#    so any other DLL would keep it from starting;
#  - its PE header names Windows MIN_WINDOWS (major.minor) as the oldest it
#    runs on;
#  - with RELEASE set, it carries no debug data;
#  - a 32-bit executable may use the address space above 2 GiB.
#   cmake -DOBJDUMP=... -DFILE=... -DMIN_WINDOWS=6.0 [-DDLLS=...] [-DRELEASE=ON]
#         -P check_windows_binary.cmake
cmake_minimum_required(VERSION 3.25)

set(_windows_dlls
  advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll
  kernel32.dll mpr.dll msvcrt.dll netapi32.dll ntdll.dll ole32.dll oleacc.dll
  oleaut32.dll shell32.dll shlwapi.dll user32.dll userenv.dll version.dll
  winmm.dll ws2_32.dll)

execute_process(COMMAND ${OBJDUMP} -p -h ${FILE}
                OUTPUT_VARIABLE _dump RESULT_VARIABLE _result)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p -h ${FILE} failed: ${_result}")
endif()
set(_faults "")

string(TOLOWER "${DLLS}" _allowed)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" _imports "${_dump}")
foreach(_line IN LISTS _imports)
  string(REGEX REPLACE "^DLL Name: " "" _dll "${_line}")
  string(STRIP "${_dll}" _dll)
  string(TOLOWER "${_dll}" _dll)
  if(NOT _dll IN_LIST _windows_dlls AND NOT _dll IN_LIST _allowed AND NOT _dll MATCHES "^api-ms-win-")
    list(APPEND _faults "imports ${_dll}, which is not shipped with it")
  endif()
endforeach()

string(REGEX MATCH "MajorSubsystemVersion[ \t]+([0-9]+)" _ "${_dump}")
set(_major ${CMAKE_MATCH_1})
string(REGEX MATCH "MinorSubsystemVersion[ \t]+([0-9]+)" _ "${_dump}")
set(_minor ${CMAKE_MATCH_1})
if(NOT "${_major}.${_minor}" STREQUAL MIN_WINDOWS)
  list(APPEND _faults "subsystem version is ${_major}.${_minor}, not ${MIN_WINDOWS}")
endif()

if(RELEASE AND _dump MATCHES "[ \t]\\.debug_[a-z_]+")
  list(APPEND _faults "carries debug sections")
endif()

string(REGEX MATCH "Magic[ \t]+([0-9a-f]+)" _ "${_dump}")
set(_magic ${CMAKE_MATCH_1})
if(_magic STREQUAL "010b" AND FILE MATCHES "\\.exe$" AND NOT _dump MATCHES "large address aware")
  list(APPEND _faults "is a 32-bit program that is not large-address-aware")
endif()

if(_faults)
  list(JOIN _faults "; " _text)
  message(FATAL_ERROR "${FILE}: ${_text}")
endif()
