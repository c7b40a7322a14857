// dorvane_demo: the capture library as the capture application uses it.
//
//   dorvane_demo record [--seconds N] OUTPUT.wav
//       records what the system plays into a WAV file
//   dorvane_demo mouse [--seconds N] [--scale S] [--once]
//       prints the rectangle under the mouse, top-level and deep, whenever
//       it changes as the mouse moves

#include <cstdio>
#include <cstring>

#include "demo_modes.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "record") == 0) return recordMode(argc - 2, argv + 2);
    if (argc >= 2 && std::strcmp(argv[1], "mouse") == 0) return mouseMode(argc - 2, argv + 2);
    std::fprintf(stderr, "usage: dorvane_demo record [--seconds N] OUTPUT.wav\n"
                         "       dorvane_demo mouse [--seconds N] [--scale S] [--once]\n");
    return 1;
}
