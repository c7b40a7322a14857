// Process list, ending and starting processes on the Win32 calls.
#include "core/paths.h"
#include "core/platform.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstring>

namespace example {
namespace platform {

std::uint32_t currentProcessId() {
    return GetCurrentProcessId();
}

std::vector<ProcessEntry> listProcesses() {
    std::vector<ProcessEntry> processes;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return processes;
    }
    PROCESSENTRY32 entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        ProcessEntry process;
        process.id = entry.th32ProcessID;
        process.executableName = entry.szExeFile;
        processes.push_back(process);
    }
    CloseHandle(snapshot);
    return processes;
}

void terminateProcess(const ProcessEntry& process, std::uint32_t waitMilliseconds) {
    const HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.id);
    if (handle == nullptr) {
        return;
    }
    if (TerminateProcess(handle, 0)) {
        // Silent, as declared: a process still there after the wait shows
        // as a file in use when its files are replaced.
        (void)WaitForSingleObject(handle, waitMilliseconds);
    }
    CloseHandle(handle);
}

std::uint32_t startProcess(const std::string& application, const std::vector<std::string>& arguments,
                           const std::string& workingDirectory) {
    std::string mutableCommandLine = quotedCommandLine(arguments);  // CreateProcessA may write into it
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);

    if (!CreateProcessA(application.c_str(), &mutableCommandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &info)) {
        return GetLastError();
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return 0;
}

}  // namespace platform
}  // namespace example
