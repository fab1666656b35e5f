#include "updater/PayloadResource.h"

#include "integrity/MessageError.h"
#include "updater/PayloadTable.h"

#include <windows.h>

namespace vexa {

std::string_view payloadOf(void* module) {
    HMODULE owner = static_cast<HMODULE>(module);
    HRSRC found = FindResourceW(owner, payloadResourceName, RT_RCDATA);
    if (!found) throw MessageError("The update package carries no launcher files.");
    HGLOBAL loaded = LoadResource(owner, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) throw MessageError("The update package cannot read its launcher files.");
    return {static_cast<const char*>(bytes), SizeofResource(owner, found)};
}

} // namespace vexa
