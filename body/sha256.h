#pragma once
// SHA-256 (FIPS 180-4), so a recording can name the exact mesh it was made
// with. Small and dependency-free, so the core builds the same everywhere.
#include <string>

namespace plumfold {

// The digest of `bytes` as 64 lower-case hex digits.
std::string sha256Hex(const std::string& bytes);

}  // namespace plumfold
