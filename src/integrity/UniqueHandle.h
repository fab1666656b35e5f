#pragma once
// Move-only owners for Win32 handles: one template, one closer per handle kind.
// A copy would close twice, so copying is deleted; a move empties the source.
#include <windows.h>
#include <bcrypt.h>
#include <tlhelp32.h>
#include <utility>

namespace vexa {

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Type value) noexcept : value_(value) {}
    ~UniqueResource() { reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Type get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    Type release() noexcept { return std::exchange(value_, Traits::invalid()); }
    void reset(Type value = Traits::invalid()) noexcept {
        Type old = std::exchange(value_, value);
        if (old != Traits::invalid()) Traits::close(old);
    }

private:
    Type value_ = Traits::invalid();
};

struct FileHandleTraits {   // CreateFileW, CreateToolhelp32Snapshot
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type h) noexcept { ::CloseHandle(h); }
};
struct KernelHandleTraits { // mutexes, processes, threads
    using Type = HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::CloseHandle(h); }
};
struct LocalMemoryTraits {  // CommandLineToArgvW
    using Type = LPWSTR*;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type p) noexcept { ::LocalFree(p); }
};
struct EnvironmentBlockTraits { // GetEnvironmentStringsW
    using Type = LPWCH;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type p) noexcept { ::FreeEnvironmentStringsW(p); }
};
struct AlgorithmProviderTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};

using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueKernelHandle = UniqueResource<KernelHandleTraits>;
using UniqueArgv = UniqueResource<LocalMemoryTraits>;
using UniqueEnvironmentBlock = UniqueResource<EnvironmentBlockTraits>;
using UniqueAlgorithmProvider = UniqueResource<AlgorithmProviderTraits>;

} // namespace vexa
