#pragma once
// System DLLs that are not KnownDLLs (bcrypt, winhttp, comctl32) would be
// looked for in the application folder first if they were static imports, so
// a planted copy there would run before the launcher's first line. They are
// loaded here, explicitly, from the system folder only.

namespace vexa {

// The module, loaded from the system folder for the rest of the run; null
// when it cannot be loaded.
void* systemLibrary(const wchar_t* name);
// An export of that module, or null.
void* systemFunctionAddress(const wchar_t* library, const char* function);

template <typename Function>
Function* systemFunction(const wchar_t* library, const char* function) {
    return reinterpret_cast<Function*>(systemFunctionAddress(library, function));
}

} // namespace vexa
