// The input-configuration header: lines are judged one by one and the first
// line holding a token decides. So a text cut after any line feed into A and
// B is judged as A when A decides, and as B when A is only blanks and
// comments (which is when A followed by the header passes).
#include "FuzzSupport.h"
#include "launcher/InputConfigHeader.h"

using namespace vexa;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    bool whole = hasSupportedInputHeader(text);
    std::size_t cut = 0;
    for (int lines = 0; lines < 16 && (cut = text.find('\n', cut)) != std::string_view::npos; ++lines) {
        ++cut;
        std::string_view a = text.substr(0, cut), b = text.substr(cut);
        bool onlyBlanks = hasSupportedInputHeader(std::string(a) + "vexa-input 1");
        fuzz::check(whole == (hasSupportedInputHeader(a) || (onlyBlanks && hasSupportedInputHeader(b))),
                    "the first line with a token decides");
    }
    return 0;
}
