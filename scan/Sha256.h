// SHA-256 (FIPS 180-4), for telling a file's bytes apart from any other's
// that someone may have written to look the same.
#ifndef VELTMOR_SCAN_SHA256_H
#define VELTMOR_SCAN_SHA256_H

#include <string>

namespace scan {

// The digest of bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::string& bytes);

}  // namespace scan

#endif
