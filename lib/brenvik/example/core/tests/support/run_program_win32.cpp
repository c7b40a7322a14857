#include "support/run_program.h"

#include "core/paths.h"

#include <windows.h>

#include <cstring>
#include <thread>

namespace example::testing {

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& workingDirectory, std::chrono::milliseconds killAfter) {
    RunResult result;
    SECURITY_ATTRIBUTES inheritable;
    std::memset(&inheritable, 0, sizeof inheritable);
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        return result;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::string commandLine = quoteArgument(program);
    for (const std::string& argument : arguments) {
        commandLine += ' ' + quoteArgument(argument);
    }
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    // Standard input reads as empty.
    HANDLE nothing =
        CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);
    startup.hStdInput = nothing;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    // A bare name is searched for as the command line's first word would be.
    const bool bare = program.find_first_of("\\/") == std::string::npos;
    const BOOL created =
        CreateProcessA(bare ? nullptr : program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                       workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &info);
    CloseHandle(writeEnd);
    if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
    if (!created) {
        CloseHandle(readEnd);
        return result;
    }

    // Waits on the process handle, which stays valid until closed below.
    std::thread killer;
    if (killAfter.count() > 0) {
        const HANDLE process = info.hProcess;
        const DWORD waitMs = static_cast<DWORD>(killAfter.count());
        killer = std::thread([process, waitMs] {
            if (WaitForSingleObject(process, waitMs) == WAIT_TIMEOUT) TerminateProcess(process, 1);
        });
    }

    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        result.standardError.append(buffer, got);
    }
    CloseHandle(readEnd);
    WaitForSingleObject(info.hProcess, INFINITE);
    if (killer.joinable()) killer.join();
    DWORD exitCode = 0;
    GetExitCodeProcess(info.hProcess, &exitCode);
    result.exitCode = static_cast<int>(exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return result;
}

}  // namespace example::testing
