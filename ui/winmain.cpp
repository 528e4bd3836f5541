#include <windows.h>

#include "platform/system_libraries.h"
#include "ui/app.h"
#include "ui/single_instance.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything can load a DLL from the program's own folder.
    restrictDllSearchToSystemFolder();
    // Another Morvi has this folder's Morvi.ini: it is in front now, or the
    // person has been told why it cannot be.
    if (!claimSettingsFile()) return 0;
    if (!startMorvi(instance)) {
        finishMorvi();
        return 1;
    }
    const int code = runMessageLoop();
    finishMorvi();
    return code;
}
