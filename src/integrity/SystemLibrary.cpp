#include "integrity/SystemLibrary.h"

#include <windows.h>

namespace vexa {

void* systemLibrary(const wchar_t* name) {
    // Kept for the whole run, as a static import would be: no FreeLibrary.
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void* systemFunctionAddress(const wchar_t* library, const char* function) {
    HMODULE module = static_cast<HMODULE>(systemLibrary(library));
    return module ? reinterpret_cast<void*>(GetProcAddress(module, function)) : nullptr;
}

} // namespace vexa
