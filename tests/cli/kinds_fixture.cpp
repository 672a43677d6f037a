// Writes the byte-built shortcuts of the kinds test (kinds.sh) under Wine:
//   kinds_fixture advertised FILE PRODUCT FEATURE COMPONENT
//   kinds_fixture link FILE TARGET
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "LnkBuilder.h"

int main(int argc, char** argv)
{
    lnkkit::LinkParts parts;
    if (argc == 6 && std::strcmp(argv[1], "advertised") == 0) {
        // As an installer writes it: the icon's path, the product in the block.
        parts = lnkkit::VariantNamed("advertised").parts;
        parts.darwinId = lnkkit::DarwinDescriptor(argv[3], argv[4], argv[5]);
        if (parts.darwinId.empty()) {
            std::fprintf(stderr, "kinds_fixture: not a product and component code: %s %s\n", argv[3], argv[5]);
            return 2;
        }
    } else if (argc == 4 && std::strcmp(argv[1], "link") == 0) {
        parts.idList = lnkkit::PathItems(argv[3]);
        parts.localBasePath = argv[3];
    } else {
        std::fprintf(stderr, "usage: kinds_fixture advertised FILE PRODUCT FEATURE COMPONENT | link FILE TARGET\n");
        return 2;
    }
    const std::string bytes = lnkkit::Build(parts);
    FILE* file = std::fopen(argv[2], "wb");
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (!file || std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "kinds_fixture: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
