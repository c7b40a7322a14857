# How the project's Windows binaries are made: the oldest Windows they run on,
# what a release file carries, and the address space of 32-bit programs.

# Windows Vista (6.0) is what the shipped files really need: they import
# GetTickCount64 (through the threads runtime, winpthreads) and, in libcurl.dll, SRW locks,
# InitializeCriticalSectionEx, inet_pton/inet_ntop and BCryptGenRandom, all
# new in Vista. The PE headers say so, and the Windows headers hide anything
# newer from the project's own code, so a later API cannot slip in unnoticed.
set(BRENVIK_WINDOWS_MIN_VERSION 0x0600)
set(BRENVIK_WINDOWS_MIN_VERSION_TEXT 6.0)
target_compile_definitions(brenvik_build_flags INTERFACE
  _WIN32_WINNT=${BRENVIK_WINDOWS_MIN_VERSION} WINVER=${BRENVIK_WINDOWS_MIN_VERSION})
add_link_options(-Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0)

# Release files carry no debug data (the static runtimes bring theirs along).
add_link_options($<$<CONFIG:Release>:-s>)

# 32-bit programs may use the whole 4 GiB that 64-bit Windows gives them: the
# code holds no pointer in a signed or 31-bit value.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_link_options($<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:-Wl,--large-address-aware>)
endif()
