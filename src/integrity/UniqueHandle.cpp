#include "integrity/UniqueHandle.h"

#include <windows.h>
#include <objbase.h>

namespace vexa {

void FileHandleTraits::close(Type handle) noexcept { CloseHandle(handle); }
void KernelHandleTraits::close(Type handle) noexcept { CloseHandle(handle); }
void OwnedMutexTraits::close(Type mutex) noexcept { ReleaseMutex(mutex); }
void LocalMemoryTraits::close(Type memory) noexcept { LocalFree(memory); }
void TaskMemoryTraits::close(Type memory) noexcept { CoTaskMemFree(memory); }
void EnvironmentBlockTraits::close(Type block) noexcept { FreeEnvironmentStringsW(block); }
void ModuleTraits::close(Type module) noexcept { FreeLibrary(static_cast<HMODULE>(module)); }
void MappedViewTraits::close(Type view) noexcept { UnmapViewOfFile(view); }

} // namespace vexa
