#include "app/startup.h"

int main(int argc, char* argv[]) {
    return example::runApplication(nullptr, 0, argc, argv);
}
