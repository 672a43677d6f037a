// libFuzzer target for the shortcut structure check, under AddressSanitizer
// and UBSan: any bytes, as a file named .lnk and as one named .pif. Built and
// run by scripts/fuzz.sh, seeded with the shortcut builder's files.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "scan/LinkStructure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    scan::MemoryByteSource source(data, size);
    const bool sound = scan::CheckLinkStructure(source);
    // A file named .lnk is checked whatever it starts with; one named .pif
    // only when it starts like a link, and goes to the shell otherwise.
    const bool startsLikeLink = size >= 4 && data[0] == 0x4C && data[1] == 0 && data[2] == 0 && data[3] == 0;
    if (scan::MayGoToShell("C:\\Menu\\x.lnk", source) != sound ||
        scan::MayGoToShell("C:\\Menu\\x.pif", source) != (startsLikeLink ? sound : true))
        std::abort();
    return 0;
}
