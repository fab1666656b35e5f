#pragma once
// The updater's own command line, exactly as the launcher's Updates command
// writes it: --directory <folder> --wait-pid <pid> [--restart].
#include <string>
#include <vector>

namespace vexa {

struct UpdaterOptions {
    std::wstring directory;
    unsigned long waitPid = 0;
    bool restart = false;
};

// The arguments after the program's own path; anything unknown, missing or
// given twice fails with one sentence.
UpdaterOptions parseUpdaterOptions(const std::vector<std::wstring>& arguments);

} // namespace vexa
