// brightfall-snapshot: writes the editor as it looks at given parameter
// values as a PNG file.  usage: brightfall-snapshot OUT.png [WET SUSTAIN]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/snapshot/EditorSnapshot.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: brightfall-snapshot OUT.png [WET SUSTAIN]   (0..100 each)\n");
        return 2;
    }
    double wet = 50.0, sustain = 50.0;
    if (argc == 4) {
        char* end1 = nullptr;
        char* end2 = nullptr;
        wet = std::strtod(argv[2], &end1);
        sustain = std::strtod(argv[3], &end2);
        if (*end1 || *end2 || !(wet >= 0 && wet <= 100) || !(sustain >= 0 && sustain <= 100)) {
            std::fprintf(stderr,
                         "brightfall-snapshot: WET and SUSTAIN must be numbers from 0 to 100\n");
            return 2;
        }
    }
    std::string error;
    if (!WriteEditorSnapshot(wet, sustain, argv[1], &error)) {
        std::fprintf(stderr, "brightfall-snapshot: %s\n", error.c_str());
        return 1;
    }
    std::printf("editor picture: %s\n", argv[1]);
    return 0;
}
