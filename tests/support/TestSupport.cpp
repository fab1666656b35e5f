#include "support/TestSupport.h"

#include "integrity/ArgumentQuoting.h"
#include "integrity/PathGrammar.h"
#include "integrity/TextConversion.h"
#include "integrity/UniqueHandle.h"
#include "update/ReleaseFeed.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <windows.h>

namespace fs = std::filesystem;

namespace vexa::test {

TempFolder::TempFolder(const std::wstring& name) {
    static std::atomic<int> counter{0};
    path_ = std::wstring(VEXA_TEST_DRIVE) + L"tmp\\t" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(counter++) + L" " + name;
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::wstring TempFolder::operator/(const std::wstring& relative) const { return joinPath(path_, relative); }

void writeFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("test could not write " + wideToUtf8(path));
}

std::string readFile(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) throw std::runtime_error("test could not read " + wideToUtf8(path));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::wstring readWideFile(const std::wstring& path) {
    std::string bytes = readFile(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

std::map<std::wstring, std::string> folderContents(const std::wstring& folder) {
    std::map<std::wstring, std::string> contents;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(fs::path(folder)))
        if (entry.is_regular_file()) contents[entry.path().lexically_relative(folder).wstring()] = readFile(entry.path());
    return contents;
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring binPath(const std::wstring& program) { return joinPath(VEXA_TEST_BIN_DIR, program); }
std::wstring testDataPath(const std::wstring& name) { return joinPath(VEXA_TEST_DATA_DIR, name); }

Installation stageInstallation(const std::wstring& root) {
    Installation installation{joinPath(root, L"app"), joinPath(root, L"data"),
                              joinPath(root, L"rom\\Vexa 3711 (US).z64")};
    fs::copy(fs::path(VEXA_TEST_RELEASE_DIR), fs::path(installation.app), fs::copy_options::recursive);
    fs::copy_file(fs::path(binPath(L"Vexa3711.exe")), fs::path(joinPath(installation.app, L"Vexa3711.exe")));
    fs::create_directories(installation.data);
    fs::create_directories(parentPath(installation.rom));
    fs::copy_file(fs::path(testDataPath(L"demo-native.z64")), fs::path(installation.rom));
    writeFile(joinPath(installation.app, L"player-data-location.txt"), wideToUtf8(installation.data));
    writeFile(joinPath(installation.data, L"controller.mpk"), std::string(32768, '\0'));
    writeFile(joinPath(installation.data, L"input.cfg"), "vexa-input 1\n");
    writeFile(joinPath(installation.data, L"rom-location.txt"), wideToUtf8(installation.rom));
    return installation;
}

namespace {

std::wstring commandLineFor(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    std::wstring commandLine = quoteArgument(program);
    for (const std::wstring& argument : arguments) commandLine += L' ' + quoteArgument(argument);
    return commandLine;
}

UniqueKernelHandle startProcess(const std::wstring& program, const std::vector<std::wstring>& arguments,
                                const std::wstring& workingFolder, HANDLE output, HANDLE error) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = output;
        startup.hStdError = error;
    }
    std::wstring commandLine = commandLineFor(program, arguments);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &process))
        throw std::runtime_error("test could not start " + wideToUtf8(program));
    CloseHandle(process.hThread);
    return UniqueKernelHandle(process.hProcess);
}

} // namespace

ProcessResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments,
                         const std::wstring& workingFolder) {
    // Files, not pipes: a Wine desktop process may inherit a pipe and keep it open.
    TempFolder captures;
    std::wstring outputPath = captures / L"output.txt", errorPath = captures / L"error.txt";
    ProcessResult result;
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        UniqueFile output(CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        UniqueFile error(CreateFileW(errorPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        UniqueKernelHandle process = startProcess(program, arguments, workingFolder, output.get(), error.get());
        output.reset();
        error.reset();
        if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
            TerminateProcess(process.get(), 99);
            throw std::runtime_error("test program did not finish in time");
        }
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
        result.exitCode = code;
    }
    result.output = readFile(outputPath);
    result.error = readFile(errorPath);
    return result;
}

RunningProcess::RunningProcess(const std::wstring& program, const std::vector<std::wstring>& arguments, void* output)
    : process_(startProcess(program, arguments, L"", output, output)) {}

RunningProcess::~RunningProcess() {
    if (WaitForSingleObject(handle(), 0) == WAIT_TIMEOUT) TerminateProcess(handle(), 0);
    WaitForSingleObject(handle(), 10000);
}

unsigned long RunningProcess::waitForExit() {
    WaitForSingleObject(handle(), 30000);
    DWORD code = 99;
    GetExitCodeProcess(handle(), &code);
    return code;
}

std::unique_ptr<RunningProcess> startHelper(const std::vector<std::wstring>& arguments) {
    // The helper signals a named event once it holds what it was asked to hold.
    std::wstring eventName = L"vexa-test-ready-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(GetTickCount64());
    UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    std::vector<std::wstring> withEvent{eventName};
    withEvent.insert(withEvent.end(), arguments.begin(), arguments.end());
    auto helper = std::make_unique<RunningProcess>(binPath(L"launcher_test_helper.exe"), withEvent);
    HANDLE waits[] = {ready.get(), helper->handle()};
    DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 30000);
    if (woke == WAIT_OBJECT_0 + 1)
        throw std::runtime_error("test helper gave up with exit code " + std::to_string(helper->waitForExit()));
    if (woke != WAIT_OBJECT_0) throw std::runtime_error("test helper did not get ready");
    return helper;
}

unsigned long probe(const std::wstring& mode, const std::wstring& path) {
    return runProgram(binPath(L"launcher_test_helper.exe"), {L"-", mode, path}).exitCode;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    for (int waited = 0; !condition(); waited += 50) {
        if (waited >= timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

ScopedVariable::ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    SetEnvironmentVariableW(name, value);
}

ScopedVariable::~ScopedVariable() { SetEnvironmentVariableW(name_, nullptr); }

static std::wstring dllOverrides(const std::wstring& program) {
    return L"Software\\Wine\\AppDefaults\\" + program + L"\\DllOverrides";
}

PreferFolderDlls::PreferFolderDlls(std::vector<std::wstring> programs) : programs_(std::move(programs)) {
    for (const std::wstring& program : programs_)
        for (const wchar_t* dll : {L"bcrypt", L"winhttp", L"comctl32"})
            RegSetKeyValueW(HKEY_CURRENT_USER, dllOverrides(program).c_str(), dll, REG_SZ, L"native,builtin", 30);
}

PreferFolderDlls::~PreferFolderDlls() {
    for (const std::wstring& program : programs_) RegDeleteTreeW(HKEY_CURRENT_USER, dllOverrides(program).c_str());
}

std::wstring answerMessageBox(const std::wstring& title, int buttonId, int timeoutMs) {
    HWND box = nullptr;
    if (!waitUntil([&] { return (box = FindWindowW(nullptr, title.c_str())) != nullptr; }, timeoutMs))
        return L"(no window titled " + title + L")";
    wchar_t text[4096] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 4096);  // the message's static control
    // Posted, not sent: the box's own thread handles the click.
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0);
    return text;
}

bool haveDisplay() { return GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0; }

std::vector<std::string> driveWindow(const std::vector<std::wstring>& arguments) {
    ProcessResult result = runProgram(binPath(L"vexa_window_driver.exe"), arguments);
    std::vector<std::string> lines;
    std::istringstream output(result.output);
    for (std::string line; std::getline(output, line);) lines.push_back(line.substr(0, line.find('\r')));
    if (result.exitCode != 0) lines.push_back("driver exit " + std::to_string(result.exitCode));
    return lines;
}

const std::string minimalPng = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(16, '\0');

void writeTexturePack(const std::wstring& folder, const std::vector<std::pair<std::string, std::string>>& images) {
    fs::create_directories(folder);
    nlohmann::json textures = nlohmann::json::array();
    for (std::size_t n = 0; n < images.size(); ++n) {
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016zx", n + 1);
        textures.push_back({{"hashes", {{"rt64", hash}}}, {"path", images[n].first}});
        std::wstring path = joinPath(folder, utf8ToWide(images[n].first));
        fs::create_directories(parentPath(path));
        if (!images[n].second.empty()) writeFile(path, images[n].second);
    }
    nlohmann::json description{{"configuration", {{"configurationVersion", 3}, {"hashVersion", 5}}}, {"textures", textures}};
    writeFile(joinPath(folder, L"rt64.json"), description.dump());
}

nlohmann::json releaseFeedFor(const std::string& version, const std::string& sha256, std::uint64_t bytes) {
    return {{"schema", 1}, {"product", "vexa3711-launcher"}, {"platform", "windows-x64"}, {"version", version},
            {"profiles", {"original-native", "remastered-native", "original-lus", "remastered-lus"}},
            {"url", downloadUrlOf(version)}, {"sha256", sha256}, {"bytes", bytes}};
}

std::string libraryErrorId(const std::string& text) {
    return text.starts_with("[json.exception.") ? text.substr(0, text.find(']') + 1) : text;
}

} // namespace vexa::test
