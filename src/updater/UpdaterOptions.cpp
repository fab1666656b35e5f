#include "updater/UpdaterOptions.h"

#include "integrity/MessageError.h"

namespace vexa {
namespace {

// Decimal as the launcher writes it: digits only, no sign, no leading zero,
// a nonzero 32-bit value.
unsigned long parseProcessId(const std::wstring& text) {
    const char* invalid = "The updater was given an invalid --wait-pid.";
    if (text.empty() || text.size() > 10 || text[0] == L'0') throw MessageError(invalid);
    unsigned long long value = 0;
    for (wchar_t unit : text) {
        if (unit < L'0' || unit > L'9') throw MessageError(invalid);
        value = value * 10 + static_cast<unsigned>(unit - L'0');
    }
    if (value > 0xFFFFFFFFull) throw MessageError(invalid);
    return static_cast<unsigned long>(value);
}

} // namespace

UpdaterOptions parseUpdaterOptions(const std::vector<std::wstring>& arguments) {
    UpdaterOptions options;
    bool haveDirectory = false, havePid = false;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::wstring& option = arguments[at];
        bool takesValue = option == L"--directory" || option == L"--wait-pid";
        if (!takesValue && option != L"--restart") throw MessageError("The updater was given an unknown option.");
        bool& seen = option == L"--directory" ? haveDirectory : option == L"--wait-pid" ? havePid : options.restart;
        if (seen) throw MessageError("The updater was given an option twice.");
        seen = true;
        if (!takesValue) continue;
        // A value is never empty and never another option: a lost value must
        // not silently swallow the next option.
        if (at + 1 == arguments.size() || arguments[at + 1].empty() || arguments[at + 1].starts_with(L"--"))
            throw MessageError("The updater was given an option without its value.");
        const std::wstring& value = arguments[++at];
        if (option == L"--directory") options.directory = value;
        else options.waitPid = parseProcessId(value);
    }
    if (!haveDirectory || !havePid) throw MessageError("The updater needs --directory and --wait-pid.");
    return options;
}

} // namespace vexa
