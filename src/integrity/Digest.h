#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace vexa {

// Lowercase hexadecimal digest of a whole buffer; algorithm is a CNG name
// such as L"SHA256" or L"SHA1".
std::string hexDigest(const void* bytes, std::size_t length, const wchar_t* algorithm);
// The same digest as bytes.
std::vector<unsigned char> digestBytes(const void* bytes, std::size_t length, const wchar_t* algorithm);

// The same digest fed piece by piece, for content read in pieces: a file
// need not be held in memory whole to be proven.
class DigestStream {
public:
    explicit DigestStream(const wchar_t* algorithm);
    ~DigestStream();
    DigestStream(const DigestStream&) = delete;
    DigestStream& operator=(const DigestStream&) = delete;
    void add(const void* bytes, std::size_t length);
    // The lowercase hexadecimal digest of everything added; once only.
    std::string hexFinish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vexa
