#include "support/test_support.h"

#include "core/paths.h"

#include <windows.h>

#include <cstring>

namespace example {
namespace testing {

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& workingDirectory) {
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
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    const BOOL created = CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        workingDirectory.c_str(), &startup, &info);
    CloseHandle(writeEnd);
    if (!created) {
        CloseHandle(readEnd);
        return result;
    }

    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        result.standardError.append(buffer, got);
    }
    CloseHandle(readEnd);
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(info.hProcess, &exitCode);
    result.exitCode = static_cast<int>(exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return result;
}

}  // namespace testing
}  // namespace example
