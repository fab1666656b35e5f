// Launch options: the first byte splits the arguments (NUL-separated UTF-16
// units) into a head and a tail. Reading stops at the first bad argument, so
// a head that fails even when given one more value fails the whole line the
// same way, and two good halves make a good line whose switches are both's.
#include "FuzzSupport.h"
#include "launcher/LaunchOptions.h"

using namespace vexa;

namespace {

struct Outcome {
    std::optional<std::string> refusal;
    LaunchOptions options;
    LauncherState state;
};

Outcome read(const std::vector<std::wstring>& arguments) {
    Outcome outcome;
    outcome.refusal = fuzz::refusalOf([&] {
        parseLaunchOptions(arguments, outcome.options, outcome.state,
                           [](const std::wstring& path) { return L"N(" + path + L")"; });
    });
    fuzz::check(!outcome.refusal || *outcome.refusal == "Unknown launch option." ||
                    *outcome.refusal == "Choose original or remaster.",
                "only the two launch-option sentences");
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::vector<std::wstring> arguments = fuzz::splitAtNul(fuzz::wideUnits(data + 1, size - 1));
    std::size_t split = data[0] % (arguments.size() + 1);
    std::vector<std::wstring> head(arguments.begin(), arguments.begin() + split);
    std::vector<std::wstring> tail(arguments.begin() + split, arguments.end());

    Outcome whole = read(arguments), first = read(head), second = read(tail);
    std::vector<std::wstring> headWithValue = head;
    headWithValue.push_back(L"original");
    if (first.refusal && read(headWithValue).refusal)
        fuzz::check(whole.refusal == first.refusal, "the first bad argument decides");
    if (!first.refusal && !second.refusal) {
        fuzz::check(!whole.refusal, "two good halves make a good line");
        const LaunchOptions &a = first.options, &b = second.options, &w = whole.options;
        fuzz::check(w.preflightOnly == (a.preflightOnly || b.preflightOnly) &&
                        w.verifyApplication == (a.verifyApplication || b.verifyApplication) &&
                        w.verifyRollbackHelper == (a.verifyRollbackHelper || b.verifyRollbackHelper) &&
                        w.dataFolderGiven == (a.dataFolderGiven || b.dataFolderGiven) &&
                        whole.state.consoleReporting ==
                            (first.state.consoleReporting || second.state.consoleReporting),
                    "switches of the whole line are those of its halves");
        fuzz::check(whole.state.playerDataFolder ==
                        (b.dataFolderGiven ? second.state.playerDataFolder : first.state.playerDataFolder),
                    "the later data folder wins");
    }
    return 0;
}
