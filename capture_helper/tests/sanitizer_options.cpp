// Sanitizer settings of the capture library's test programs.

// Huge allocations must fail politely (the silence buffer case), not abort.
// Leaks are told apart by where they were allocated, which inside libraries
// built without frame pointers takes the slow unwinder.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:fast_unwind_on_malloc=0";
}

// The accessibility client library drops the bookkeeping of a call that
// timed out (an application that stopped answering) without freeing it.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:dbind_send_and_allow_reentry\n";
}
extern "C" const char* __tsan_default_options() {
    return "allocator_may_return_null=1";
}

// Qt is not built with ThreadSanitizer and mixes futexes with the pthread
// calls TSan watches, so QThread::wait's own bookkeeping looks like races;
// accesses made from inside Qt are not looked at. Xlib, once the X server has
// gone, unlocks a display lock it no longer holds on the way out of the
// failed request (its own bookkeeping, which the window search's lost-server
// case walks through); its lock reports are not looked at.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt5Core.so.5\n"
           "mutex:libX11.so.6\n";
}
