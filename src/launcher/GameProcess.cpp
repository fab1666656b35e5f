#include "launcher/GameProcess.h"

#include "integrity/ArgumentQuoting.h"
#include "integrity/MessageError.h"
#include "integrity/PathGrammar.h"
#include "integrity/UniqueHandle.h"

#include <cwchar>
#include <vector>
#include <windows.h>

namespace vexa {
namespace {

constexpr const wchar_t* gameExecutable = L"VexaWindowsRT64.exe";
constexpr const wchar_t* releaseVersionText = L"0.3.2";

bool isScrubbedName(std::wstring_view name) {
    return name.starts_with(L"VEXA_") || name == L"VK_DRIVER_FILES" || name == L"VK_ICD_FILENAMES";
}

UniqueFile openInheritable(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                           DWORD attributes) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return UniqueFile(CreateFileW(path, access, share, &inherit, disposition, attributes, nullptr));
}

// The attribute list that names the only handles the game may inherit; an
// installer's pipe or any other handle the launcher itself inherited stays out.
class InheritedHandles {
public:
    explicit InheritedHandles(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
            list_ = nullptr;
            return;
        }
        if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                       handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
            DeleteProcThreadAttributeList(list_);
            list_ = nullptr;
        }
    }
    ~InheritedHandles() {
        if (list_) DeleteProcThreadAttributeList(list_);
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

private:
    std::vector<HANDLE> handles_;
    std::vector<unsigned char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

} // namespace

void scrubGameEnvironment() {
    std::vector<std::wstring> names;
    {
        UniqueEnvironmentBlock block(GetEnvironmentStringsW());
        if (!block) return;
        for (const wchar_t* entry = block.get(); *entry; entry += std::wcslen(entry) + 1) {
            std::wstring_view text(entry);
            std::size_t equals = text.find(L'=');
            // Entries without a name ("=C:=C:\...") are the shell's drive folders.
            if (equals == std::wstring_view::npos || equals == 0) continue;
            std::wstring_view name = text.substr(0, equals);
            if (isScrubbedName(name)) names.emplace_back(name);
        }
    }
    for (const std::wstring& name : names) SetEnvironmentVariableW(name.c_str(), nullptr);
}

std::wstring updateRequestName(unsigned long processId, unsigned long long ticks) {
    return L"update-request-" + std::to_wstring(processId) + L"-" + std::to_wstring(ticks) + L".json";
}

void setGameEnvironment(const ModsSettings& settings, const std::wstring& data) {
    if (settings.enabled) SetEnvironmentVariableW(L"VEXA_REMASTER_TEXTURE_PACK", settings.folder.c_str());
    SetEnvironmentVariableW(L"VEXA_LUS_IMGUI", nullptr);
    SetEnvironmentVariableW(L"VEXA_RELEASE_VERSION", releaseVersionText);
    SetEnvironmentVariableW(L"VEXA_RELEASE_EDITION", L"original");
    SetEnvironmentVariableW(L"VEXA_UPDATE_REQUEST",
                            joinPath(data, updateRequestName(GetCurrentProcessId(), GetTickCount64())).c_str());
    SetEnvironmentVariableW(L"VEXA_OPTIONS_CONFIG", joinPath(data, L"options.json").c_str());
    SetEnvironmentVariableW(L"VEXA_CONTROLLER_PAK", joinPath(data, L"controller.mpk").c_str());
    SetEnvironmentVariableW(L"VEXA_INPUT_CONFIG", joinPath(data, L"input.cfg").c_str());
}

std::wstring buildGameCommandLine(const LauncherState& state) {
    return quoteArgument(joinPath(state.applicationFolder, gameExecutable)) + L' ' +
           quoteArgument(state.romPath) + L' ' +
           quoteArgument(joinPath(state.playerDataFolder, L"profile")) + L" play";
}

int startGameProcess(const LauncherState& state) {
    std::wstring logPath = joinPath(state.playerDataFolder, L"last-session.log");
    PROCESS_INFORMATION process{};
    bool created = false;
    {
        // CREATE_ALWAYS: the log holds only the last run's output.
        UniqueFile log = openInheritable(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL);
        UniqueFile nullInput = openInheritable(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               OPEN_EXISTING, 0);
        if (!log || !nullInput) throw MessageError("Cannot open the game session log.");

        InheritedHandles inherited({log.get(), nullInput.get()});
        if (!inherited.get())
            throw MessageError("The game could not start. Reinstall this version and check Vulkan support.");
        STARTUPINFOEXW startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = nullInput.get();
        startup.StartupInfo.hStdOutput = log.get();
        startup.StartupInfo.hStdError = log.get();
        startup.lpAttributeList = inherited.get();
        std::wstring executable = joinPath(state.applicationFolder, gameExecutable);
        std::wstring commandLine = buildGameCommandLine(state);
        created = CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                 CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                                 state.applicationFolder.c_str(), &startup.StartupInfo, &process);
        // The game holds its own inherited copies; ours close here either way.
    }
    if (!created)
        throw MessageError("The game could not start. Reinstall this version and check Vulkan support.");
    UniqueKernelHandle processHandle(process.hProcess);
    UniqueKernelHandle threadHandle(process.hThread);
    WaitForSingleObject(processHandle.get(), INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(processHandle.get(), &exitCode);
    threadHandle.reset();
    processHandle.reset();
    return static_cast<int>(exitCode);
}

} // namespace vexa
