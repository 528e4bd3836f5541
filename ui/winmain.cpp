#include <windows.h>

#include "app.h"
#include "system_libraries.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything can load a DLL from the program's own folder.
    restrictDllSearchToSystemFolder();
    if (!startMorvi(instance)) {
        finishMorvi();
        return 1;
    }
    const int code = runMessageLoop();
    finishMorvi();
    return code;
}
