#include "platform/display_dpi.h"

#include <type_traits>

#include "platform/system_libraries.h"

namespace {

using GetDpiForWindow = UINT(WINAPI*)(HWND);
using SetThreadDpiAwarenessContext = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
static_assert(std::is_same_v<SetThreadDpiAwarenessContext, decltype(&::SetThreadDpiAwarenessContext)>);
static_assert(std::is_same_v<GetDpiForWindow, decltype(&::GetDpiForWindow)>, "the system's calling convention");
// shcore.dll's GetDpiForMonitor, MDT_EFFECTIVE_DPI (0).
using GetDpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

// Looked up once on the GUI thread, which alone asks; kept to the end.
GetDpiForWindow forWindow() {
    static const GetDpiForWindow f = systemEntry<GetDpiForWindow>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    return f;
}

SetThreadDpiAwarenessContext threadContext() {
    static const SetThreadDpiAwarenessContext f =
        systemEntry<SetThreadDpiAwarenessContext>(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext");
    return f;
}

GetDpiForMonitor forMonitor() {
    static const GetDpiForMonitor f =
        systemEntry<GetDpiForMonitor>(loadFromSystemFolder(L"shcore.dll"), "GetDpiForMonitor");
    return f;
}

}  // namespace

int systemDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

int windowDpi(HWND window) {
    const UINT dpi = forWindow() && window ? forWindow()(window) : 0;
    return dpi != 0 ? static_cast<int>(dpi) : systemDpi();
}

int monitorDpi(HMONITOR monitor) {
    UINT x = 0, y = 0;
    if (monitor && forMonitor() && forMonitor()(monitor, 0, &x, &y) == S_OK && y != 0) return static_cast<int>(y);
    return systemDpi();
}

DPI_AWARENESS_CONTEXT enterSystemAwareDpi() {
    return threadContext() ? threadContext()(DPI_AWARENESS_CONTEXT_SYSTEM_AWARE) : nullptr;
}

void leaveDpiContext(DPI_AWARENESS_CONTEXT previous) {
    if (previous && threadContext()) threadContext()(previous);
}
