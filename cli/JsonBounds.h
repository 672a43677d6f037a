// A bound on JSON that someone else may have written, checked before the
// parser sees it.
#ifndef VELTMOR_CLI_JSONBOUNDS_H
#define VELTMOR_CLI_JSONBOUNDS_H

#include <string>

namespace cli {

// False when arrays and objects nest deeper than deepest. Counted outside
// strings, so that no parse or copy of a hostile document can recurse
// without bound.
inline bool WithinDepth(const std::string& text, int deepest)
{
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > deepest)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

}  // namespace cli

#endif
