#include "app/startup.h"

#include "app/helper_mode.h"
#include "core/app_options.h"
#include "core/command_line.h"
#include "core/process_control.h"

namespace example {

int runApplication(void* instance, int showCommand, int argc, const char* const argv[],
                   const std::vector<std::string>& dllNames) {
    const bool helperMode = isApplyHelperProcess();

    std::string argumentError;
    if (!parseArguments(argc, argv, argumentError)) {
        writeConsoleError(argumentError);
        return 1;
    }

    if (helperMode) {
        return runHelperMode(instance, showCommand);
    }

    terminateProcessesByName(g_appOptions.targetExeName);
    std::string helperError;
    if (!startApplyHelper(helperError, dllNames)) {
        writeConsoleError(helperError);
        return 1;
    }
    return 0;
}

int runApplication(void* instance, int showCommand, int argc, const char* const argv[]) {
    return runApplication(instance, showCommand, argc, argv, helperDllNames());
}

}  // namespace example
