#include "updater/SwapJournal.h"

#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/TextConversion.h"
#include "updater/PayloadTable.h"

#include <algorithm>

namespace vexa {
namespace {

constexpr std::string_view header = "vexa3711-update-journal 1\n";

// The next line without its line feed; at moves past it.
std::string_view lineAt(std::string_view text, std::size_t& at) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) refuseDamagedJournal();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    return line;
}

bool isTag(std::string_view tag) {
    // update-<process id>, as this updater names its files.
    std::string_view digits = tag.substr(std::min(tag.size(), std::size_t{7}));
    return tag.starts_with("update-") && !digits.empty() && digits.size() <= 10 &&
           std::all_of(digits.begin(), digits.end(), [](char unit) { return unit >= '0' && unit <= '9'; });
}

} // namespace

void refuseDamagedJournal() {
    throw MessageError("The record of an earlier update, Vexa3711-update.journal in the Vexa 3711 folder, is damaged.");
}

std::string journalText(const SwapJournal& journal) {
    std::string text(header);
    text += (journal.complete ? "complete " : "begun ") + wideToUtf8(journal.tag) + "\n";
    for (const SwapTarget& target : journal.targets) {
        std::string path = wideToUtf8(target.relativePath);
        std::replace(path.begin(), path.end(), '\\', '/');
        text += (target.exists ? "1 " : "0 ") + path + "\n";
    }
    return text;
}

SwapJournal parseJournal(std::string_view text) {
    if (!text.starts_with(header)) refuseDamagedJournal();
    std::size_t at = header.size();
    SwapJournal journal;
    std::string_view state = lineAt(text, at);
    std::size_t space = state.find(' ');
    if (space == std::string_view::npos || !isTag(state.substr(space + 1))) refuseDamagedJournal();
    if (state.substr(0, space) == "complete") journal.complete = true;
    else if (state.substr(0, space) != "begun") refuseDamagedJournal();
    journal.tag = utf8ToWide(state.substr(space + 1));
    while (at < text.size()) {
        std::string_view line = lineAt(text, at);
        // Only names a payload could carry: recovering never reaches out of
        // the folder nor removes a game file.
        if (line.size() < 3 || (line[0] != '0' && line[0] != '1') || line[1] != ' ' ||
            !isLauncherFilePath(line.substr(2)))
            refuseDamagedJournal();
        std::wstring path = utf8ToWide(line.substr(2));
        std::replace(path.begin(), path.end(), L'/', L'\\');
        journal.targets.push_back({path, line[0] == '1'});
    }
    return journal;
}

std::vector<SwapStep> recoveryOf(const SwapJournal& journal, const std::wstring& folder) {
    using Kind = SwapStep::Kind;
    std::vector<SwapStep> steps;
    for (const SwapTarget& target : journal.targets) {
        std::wstring path = joinPath(folder, target.relativePath);
        std::wstring backup = backupOf(path, journal.tag);
        if (!journal.complete) {
            // The old file moves back over whatever holds its name (a backup
            // is whole, and old while the target may be new); without one the
            // old file was never replaced. A file that did not exist before goes.
            if (target.exists) steps.push_back({Kind::Move, backup, path, 0, L"", true});
            else steps.push_back({Kind::Remove, path, L""});
        }
        if (target.exists) steps.push_back({Kind::Remove, backup, L""});
        if (target.exists) steps.push_back({Kind::Remove, backupDraftOf(backup), L""});
        steps.push_back({Kind::Remove, newFileOf(path, journal.tag), L""});
    }
    return steps;
}

} // namespace vexa
