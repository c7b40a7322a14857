// Windows GUI entry. The arguments come from the runtime's split of the
// command line (__argc, __argv), as every C program sees them.
#include "app/startup.h"

#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    return example::runApplication(instance, showCommand, __argc, __argv);
}
