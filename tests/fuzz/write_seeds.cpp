// Writes every shortcut the builder knows into a folder: the fuzz target's
// seeds.   usage: write_seeds <folder>
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/kit/LnkBuilder.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_seeds <folder>\n");
        return 2;
    }
    for (const lnkkit::Variant& variant : lnkkit::Variants()) {
        std::ofstream out(std::string(argv[1]) + "/" + variant.name + ".lnk", std::ios::binary);
        out << lnkkit::Build(variant.parts);
        if (!out) {
            std::fprintf(stderr, "write_seeds: cannot write %s\n", variant.name);
            return 1;
        }
    }
    return 0;
}
