#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quillmarch %s\n", QM_VERSION);
        return 0;
    }
    std::fprintf(stderr, "quillmarch: nothing to do yet; try --version\n");
    return 2;
}
