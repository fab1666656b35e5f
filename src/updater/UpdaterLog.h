#pragma once
#include <string>
#include <string_view>

namespace vexa {

// updater.log beside the updater: one line per step, "<UTC time> <step> <outcome>".
// Writing it never fails an update: a line that cannot be written is dropped.
class UpdaterLog {
public:
    UpdaterLog();
    void record(std::string_view step, std::string_view outcome) noexcept;

private:
    std::wstring path_;
};

} // namespace vexa
