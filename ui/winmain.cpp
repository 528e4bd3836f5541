#include <windows.h>

#include "app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (!startMorvi(instance)) {
        finishMorvi();
        return 1;
    }
    const int code = runMessageLoop();
    finishMorvi();
    return code;
}
