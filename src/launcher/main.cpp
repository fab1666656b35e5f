#include "launcher/Entry.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return vexa::launcherMain(instance);
}
