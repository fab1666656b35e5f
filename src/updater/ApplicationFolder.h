#pragma once
#include "updater/PayloadTable.h"
#include "updater/SwapPlan.h"

#include <string>
#include <vector>

namespace vexa {

// The folder the launcher named, lexically normal, once it is absolute, free
// of links and holds Vexa3711.exe.
std::wstring requireApplicationFolder(const std::wstring& given);

// Each payload file's target in that folder: absent, or a plain file reached
// without a link. Anything else stops the update before it changes anything.
std::vector<SwapTarget> inspectTargets(const std::wstring& folder, const std::vector<PayloadFile>& files);
// The same check for one path below the folder; returns whether it exists.
bool inspectTarget(const std::wstring& folder, const std::wstring& relativePath);

} // namespace vexa
