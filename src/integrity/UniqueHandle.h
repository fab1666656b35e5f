#pragma once
// Move-only owners for Win32 handles: one template, one closer per handle kind.
// A copy would close twice, so copying is deleted; a move empties the source.
// The handle types are spelled as the plain pointers they are, and the closers
// live in UniqueHandle.cpp, so code that merely holds a handle needs no
// <windows.h>.
#include <cstdint>
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

struct FileHandleTraits {        // CreateFileW, CreateToolhelp32Snapshot
    using Type = void*;
    static Type invalid() noexcept { return reinterpret_cast<void*>(static_cast<std::intptr_t>(-1)); }
    static void close(Type handle) noexcept;
};
struct KernelHandleTraits {      // events, mutexes, processes, threads
    using Type = void*;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type handle) noexcept;
};
struct OwnedMutexTraits {        // a mutex this thread owns: released, not closed
    using Type = void*;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type mutex) noexcept;
};
struct LocalMemoryTraits {       // CommandLineToArgvW, FormatMessageW
    using Type = void*;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type memory) noexcept;
};
struct TaskMemoryTraits {        // SHGetKnownFolderPath, IShellItem::GetDisplayName
    using Type = void*;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type memory) noexcept;
};
struct EnvironmentBlockTraits {  // GetEnvironmentStringsW
    using Type = wchar_t*;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type block) noexcept;
};
struct ModuleTraits {            // LoadLibraryExW
    using Type = void*;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type module) noexcept;
};
struct MappedViewTraits {        // MapViewOfFile
    using Type = void*;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type view) noexcept;
};

using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueKernelHandle = UniqueResource<KernelHandleTraits>;
using MutexOwnership = UniqueResource<OwnedMutexTraits>;
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;
using UniqueTaskMemory = UniqueResource<TaskMemoryTraits>;
using UniqueEnvironmentBlock = UniqueResource<EnvironmentBlockTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueMappedView = UniqueResource<MappedViewTraits>;

// A COM interface pointer: one reference, released once.
template <typename Interface>
struct ComTraits {
    using Type = Interface*;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type object) noexcept { object->Release(); }
};
template <typename Interface>
using UniqueCom = UniqueResource<ComTraits<Interface>>;

} // namespace vexa
