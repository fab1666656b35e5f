#include "launcher/LauncherState.h"

namespace vexa {

LauncherState& launcherState() {
    static LauncherState state;
    return state;
}

} // namespace vexa
