// Test program: writes its argument vector to "argv.txt" in its current
// directory (each argument as "<length>:<bytes>\n"), then exits with 0.
#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    std::FILE* file = std::fopen("argv.tmp", "wb");
    if (file == nullptr) {
        return 2;
    }
    for (int i = 0; i < argc; ++i) {
        std::fprintf(file, "%zu:%s\n", std::strlen(argv[i]), argv[i]);
    }
    std::fclose(file);
    // Appears complete or not at all for the reader.
    std::remove("argv.txt");
    return std::rename("argv.tmp", "argv.txt") == 0 ? 0 : 3;
}
