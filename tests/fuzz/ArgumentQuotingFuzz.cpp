// Argument quoting: NUL-separated UTF-16 units are the arguments; quoted and
// joined by blanks they must split back into exactly themselves.
#include "FuzzSupport.h"
#include "integrity/ArgumentQuoting.h"

using namespace vexa;

namespace {

// CommandLineToArgvW's rules for the arguments after the program name.
std::vector<std::wstring> splitArguments(std::wstring_view line) {
    std::vector<std::wstring> arguments;
    std::size_t at = 0;
    auto blank = [&] { return line[at] == L' ' || line[at] == L'\t'; };
    while (true) {
        while (at < line.size() && blank()) ++at;
        if (at == line.size()) return arguments;
        std::wstring& argument = arguments.emplace_back();
        int quotes = 0;  // 1 while quoting is on
        while (at < line.size() && (quotes == 1 || !blank())) {
            std::size_t backslashes = 0;
            for (; at < line.size() && line[at] == L'\\'; ++at) ++backslashes;
            bool quote = at < line.size() && line[at] == L'"';
            // Backslashes escape only a quote, and each other backslash then.
            argument.append(quote ? backslashes / 2 : backslashes, L'\\');
            if (!quote) {
                if (at < line.size() && (quotes == 1 || !blank())) argument += line[at++];
                continue;
            }
            if (backslashes % 2 == 1) argument += L'"';
            else ++quotes;
            // In a run of quotes every third counted one is a literal quote,
            // and two left over end the quoting.
            for (++at; at < line.size() && line[at] == L'"'; ++at) {
                if (++quotes == 3) {
                    argument += L'"';
                    quotes = 0;
                }
            }
            if (quotes == 2) quotes = 0;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::wstring> arguments = fuzz::splitAtNul(fuzz::wideUnits(data, size));
    std::wstring line;
    for (const std::wstring& argument : arguments) line += quoteArgument(argument) + L' ';
    fuzz::check(splitArguments(line) == arguments, "quoted arguments split back into themselves");
    return 0;
}
