#pragma once
// Shared test tools: scratch folders, whole files, staged installations and
// real child processes whose output is captured through files. It brings what
// nearly every test uses, so the tests include only their own subjects.
#include "TestConfig.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"

#include <gtest/gtest.h>
#include <nlohmann/json_fwd.hpp>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace vexa::test {

namespace fs = std::filesystem;

// The sentence a call fails with, or "(no failure)".
template <typename Call>
std::string failureOf(Call&& call) {
    try {
        call();
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return "(no failure)";
}

// What a call gives as text: its result (numbers through std::to_string), or
// the sentence it fails with.
template <typename Call>
std::string outcomeOf(Call&& call) {
    try {
        if constexpr (std::is_convertible_v<decltype(call()), std::string>) return call();
        else return std::to_string(call());
    } catch (const std::exception& failure) {
        return failure.what();
    }
}

// A fresh folder on the scratch drive (a real folder root, unlike Z:),
// removed with everything in it at the end of the test. Its name holds a
// blank and a non-ASCII letter unless the test needs another.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& name = L"Spiel\x00e9");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& relative) const;

private:
    std::wstring path_;
};

void writeFile(const std::wstring& path, const std::string& bytes);
std::string readFile(const std::wstring& path);
std::wstring readWideFile(const std::wstring& path);  // UTF-16 records of the test programs
bool fileExists(const std::wstring& path);
// Every file below folder, by relative path, with its bytes.
std::map<std::wstring, std::string> folderContents(const std::wstring& folder);
std::wstring binPath(const std::wstring& program);       // a program of the build
std::wstring testDataPath(const std::wstring& name);    // demo cartridge images

// A complete, valid installation: app (the demo release, the launcher and
// player-data-location.txt), data (controller pak, input.cfg, rom-location.txt)
// and the native demo image under rom.
struct Installation {
    std::wstring app;
    std::wstring data;
    std::wstring rom;
};
Installation stageInstallation(const std::wstring& root);

struct ProcessResult {
    unsigned long exitCode = 0;
    std::string output;
    std::string error;
};
// Runs a program to its end (at most 60 s) with output and errors in files.
ProcessResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments,
                         const std::wstring& workingFolder = L"");

// A child that keeps running until stopped (or destroyed); output, when
// given, is an inheritable handle for its standard output and error.
class RunningProcess {
public:
    RunningProcess(const std::wstring& program, const std::vector<std::wstring>& arguments, void* output = nullptr);
    ~RunningProcess();
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;
    unsigned long waitForExit();
    void* handle() const { return process_.get(); }

private:
    UniqueKernelHandle process_;
};

// Starts the test helper with a mode and waits until it reports being ready.
std::unique_ptr<RunningProcess> startHelper(const std::vector<std::wstring>& arguments);
// The exit code of one of the test helper's probes (0: it worked).
unsigned long probe(const std::wstring& mode, const std::wstring& path = L"");

// Polls every 50 ms; false when the time ran out.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

// An environment variable set (or, with nullptr, removed) for this process and
// the children it starts; removed again when this ends.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
};

// Wine told to prefer a DLL in a program's folder over its own, as Windows
// does for every DLL that is not a KnownDLL, for bcrypt, winhttp and comctl32
// in the programs named, while this lives.
class PreferFolderDlls {
public:
    explicit PreferFolderDlls(std::vector<std::wstring> programs);
    ~PreferFolderDlls();
    PreferFolderDlls(const PreferFolderDlls&) = delete;
    PreferFolderDlls& operator=(const PreferFolderDlls&) = delete;

private:
    std::vector<std::wstring> programs_;
};

// Waits for a top-level window with this title (from any process), returns the
// text of its message and closes it with the given button id.
std::wstring answerMessageBox(const std::wstring& title, int buttonId, int timeoutMs = 20000);

// The smallest PNG the pack rules accept: its signature and header, 24 bytes.
extern const std::string minimalPng;
// A texture pack: rt64.json (configuration 3, hash version 5) mapping the
// runtime hashes 1, 2, ... to the paths in turn, and each image with its
// content (not written when the content is empty).
void writeTexturePack(const std::wstring& folder, const std::vector<std::pair<std::string, std::string>>& images);

// A release feed as the publisher writes it for a build of the version, unsigned.
nlohmann::json releaseFeedFor(const std::string& version, const std::string& sha256, std::uint64_t bytes);

// The JSON library's own texts cut to their id ("[json.exception.type_error.302]"):
// the words after it are the library's, not rules of the launcher.
std::string libraryErrorId(const std::string& text);

bool haveDisplay();
// What vexa_window_driver.exe printed, line by line, and "driver exit N" when it failed.
std::vector<std::string> driveWindow(const std::vector<std::wstring>& arguments);

} // namespace vexa::test

// Every test works in the launcher's names and with the tools above.
using namespace vexa;
using namespace vexa::test;
