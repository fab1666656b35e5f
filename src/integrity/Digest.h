#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace vexa {

// Lowercase hexadecimal digest of a whole buffer; algorithm is a CNG name
// such as L"SHA256" or L"SHA1".
std::string hexDigest(const void* bytes, std::size_t length, const wchar_t* algorithm);
// The same digest as bytes.
std::vector<unsigned char> digestBytes(const void* bytes, std::size_t length, const wchar_t* algorithm);

} // namespace vexa
