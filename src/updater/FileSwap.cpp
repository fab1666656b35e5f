#include "updater/FileSwap.h"

#include "integrity/FileIo.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"
#include "updater/ApplicationFolder.h"
#include "updater/SwapJournal.h"

#include <optional>
#include <windows.h>

namespace vexa {
namespace {

[[noreturn]] void fail(const char* what, const std::wstring& path, DWORD error) {
    throw MessageError(std::string(what) + " " + wideToUtf8(path) + " (Windows error " + std::to_string(error) + ").");
}

void writeTemporary(const std::wstring& path, std::string_view content) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) fail("Cannot create", path, GetLastError());
    DWORD written = 0;
    // Payload files are at most 256 MiB: one request each.
    bool complete = WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
                    written == content.size() && FlushFileBuffers(file.get());
    DWORD error = GetLastError();
    file.reset();
    if (complete) return;
    DeleteFileW(path.c_str());
    fail("Cannot write", path, error);
}

// The backup: a whole copy on disk before the original is replaced, copied
// aside and moved to its name. The original may be open for writing elsewhere
// (nothing is written to it), hence the sharing.
void backUp(const std::wstring& from, const std::wstring& to) {
    std::wstring draft = backupDraftOf(to);
    UniqueFile source(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source) fail("Cannot back up", from, GetLastError());
    UniqueFile copy(CreateFileW(draft.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy) fail("Cannot create", draft, GetLastError());
    std::string buffer(1 << 20, '\0');
    bool complete = true;
    while (complete) {
        DWORD read = 0, written = 0;
        complete = ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
        if (complete && read == 0) break;
        complete = complete && WriteFile(copy.get(), buffer.data(), read, &written, nullptr) && written == read;
    }
    complete = complete && FlushFileBuffers(copy.get());
    DWORD error = GetLastError();
    copy.reset();
    if (complete && MoveFileExW(draft.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return;
    if (complete) error = GetLastError();
    DeleteFileW(draft.c_str());
    fail("Cannot back up", from, error);
}

void removeIfPresent(const std::wstring& path) {
    if (DeleteFileW(path.c_str())) return;
    DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) fail("Cannot remove", path, error);
}

std::wstring journalPath(const std::wstring& folder) { return joinPath(folder, swapJournalName); }
std::wstring journalDraftPath(const std::wstring& folder) { return journalPath(folder) + L".partial"; }

// Written aside, flushed and moved in: the journal is always whole.
void writeJournal(const std::wstring& folder, const SwapJournal& journal) {
    removeIfPresent(journalDraftPath(folder));
    replaceFileAtomically(journalDraftPath(folder), journalPath(folder), journalText(journal),
                          "The update could not be recorded in the Vexa 3711 folder.");
}

std::optional<std::string> readJournal(const std::wstring& folder) {
    constexpr DWORD limit = 1 << 16;
    UniqueFile file(CreateFileW(journalPath(folder).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
        fail("Cannot read", journalPath(folder), error);
    }
    std::string text(limit, '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), text.data(), limit, &read, nullptr)) fail("Cannot read", journalPath(folder), GetLastError());
    text.resize(read);
    return text;
}

} // namespace

SwapStepRunner fileSystemRunner(std::string_view payload, const std::vector<PayloadFile>& files) {
    return [payload, &files](const SwapStep& step) {
        switch (step.kind) {
        case SwapStep::Kind::Write:
            writeTemporary(step.path, payload.substr(files.at(step.file).offset, files.at(step.file).size));
            return;
        case SwapStep::Kind::Backup:
            backUp(step.path, step.destination);
            return;
        case SwapStep::Kind::Move:
            if (!MoveFileExW(step.path.c_str(), step.destination.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                DWORD error = GetLastError();
                if (step.ifPresent && error == ERROR_FILE_NOT_FOUND) return;
                fail("Cannot move", step.path, error);
            }
            return;
        case SwapStep::Kind::Remove:
            removeIfPresent(step.path);
            return;
        }
    };
}

std::vector<std::wstring> finishInterruptedSwap(const std::wstring& folder, const SwapStepRunner& run) {
    removeIfPresent(journalDraftPath(folder));
    std::optional<std::string> text = readJournal(folder);
    if (!text) return {};
    SwapJournal journal = parseJournal(*text);
    // Anyone who can write the folder can write a journal: a target reached
    // through a folder link would have recovery remove or replace a file elsewhere.
    for (const SwapTarget& target : journal.targets) {
        try {
            inspectTarget(folder, target.relativePath);
        } catch (const std::exception&) {
            refuseDamagedJournal();
        }
    }
    for (const SwapStep& step : recoveryOf(journal, folder)) run(step);
    removeIfPresent(journalPath(folder));
    std::vector<std::wstring> added;
    for (const SwapTarget& target : journal.targets)
        if (journal.complete && !target.exists) added.push_back(target.relativePath);
    return added;
}

std::vector<std::wstring> swapLauncherFiles(const std::wstring& folder, const std::vector<SwapTarget>& targets,
                                            const std::wstring& tag, const SwapStepRunner& run) {
    SwapPlan plan = planSwap(folder, targets, tag);
    SwapJournal journal{false, tag, targets};
    writeJournal(folder, journal);
    try {
        applySwap(plan, run);
    } catch (const SwapFailure& failure) {
        // Wholly old again: nothing for the next run to finish. A journal that
        // stays would only make it undo what is already undone.
        if (failure.restored) DeleteFileW(journalPath(folder).c_str());
        throw;
    }
    // Backups go only once the journal says so: a begun journal without them
    // could no longer be undone.
    journal.complete = true;
    try {
        writeJournal(folder, journal);
    } catch (const std::exception&) {
        return plan.backups;  // wholly new; the next run undoes and repeats it
    }
    std::vector<std::wstring> leftBehind = removeBackups(plan, run);
    if (leftBehind.empty()) removeIfPresent(journalPath(folder));
    return leftBehind;
}

} // namespace vexa
