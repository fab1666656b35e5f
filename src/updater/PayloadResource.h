#pragma once
#include <string_view>

namespace vexa {

// The payload resource of a module (null: this program) as it lies in memory,
// valid while the module stays loaded.
std::string_view payloadOf(void* module);

} // namespace vexa
