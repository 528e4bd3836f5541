#include "ui/main_window.h"

#include <cstring>
#include <new>

#include "platform/display_dpi.h"
#include "settings/screen_units.h"
#include "settings/settings.h"
#include "ui/font_faces.h"
#include "ui/main_window_proc.h"
#include "ui/program_text.h"
#include "ui/resource_ids.h"

CommandButton* commandButtons[commandButtonCount];

const wchar_t msGothicFace[] = L"ＭＳ ゴシック";

namespace {

MainWindow* theMainWindow = nullptr;

struct ButtonSpec {
    const wchar_t* caption;
    int id;
    RECT rect;
};

const ButtonSpec buttonSpecs[commandButtonCount] = {
    {L"Start", IDC_BUTTON_START, {0, 32, 36, 60}},   {L"Stop", IDC_BUTTON_STOP, {36, 32, 72, 60}},
    {L"Reset", IDC_BUTTON_RESET, {72, 32, 108, 60}}, {L"Lap", IDC_BUTTON_LAP, {108, 32, 144, 60}},
    {L"Time", IDC_BUTTON_TIME, {144, 32, 180, 60}},
};

}  // namespace

int scaled(int pixels96) { return toScreenPixels(pixels96, processScreenUnits().dpi); }

int buttonRowHeight() { return scaled(28); }

void takeScreenDpi() {
    ScreenUnits& units = processScreenUnits();
    units.systemDpi = units.dpi = systemDpi();
}

MainWindow* getMainWindow() {
    if (!theMainWindow) {
        theMainWindow = new (std::nothrow) MainWindow{};
        if (theMainWindow) {
            theMainWindow->className = L"Morvi";
            theMainWindow->title = L"Morvi";
        }
    }
    return theMainWindow;
}

void freeMainWindow() {
    if (!theMainWindow) return;
    if (theMainWindow->backBufferDC) DeleteDC(theMainWindow->backBufferDC);
    if (theMainWindow->backBufferBitmap) DeleteObject(theMainWindow->backBufferBitmap);
    delete theMainWindow;
    theMainWindow = nullptr;
}

int createMainWindow(HINSTANCE instance, MainWindow* mw) {
    WNDCLASSW& wc = mw->windowClass;
    wc.style = CS_BYTEALIGNCLIENT;
    wc.lpfnWndProc = mainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, L"IDR_ICON1");
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = mw->className;
    mw->instance = instance;
    if (!RegisterClassW(&wc)) return 0;

    // The display's paint never draws over the buttons: what is on the screen
    // is what a repaint of each would draw.
    const HWND window = CreateWindowExW(0, mw->className, mw->title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, scaled(200),
                                        scaled(200), scaled(200), scaled(100), nullptr, nullptr, instance, nullptr);
    if (!window) return 0;
    mw->window = window;
    recreateBackBuffer(mw, static_cast<unsigned>(scaled(200)), static_cast<unsigned>(scaled(100)));
    InvalidateRect(window, nullptr, FALSE);
    return 1;
}

void recreateBackBuffer(MainWindow* mw, unsigned width, unsigned height) {
    if (mw->backBufferDC) DeleteDC(mw->backBufferDC);
    if (mw->backBufferBitmap) DeleteObject(mw->backBufferBitmap);
    const HDC windowDC = GetDC(mw->window);  // the screen's while the window is not stored yet
    mw->backBufferDC = CreateCompatibleDC(windowDC);
    mw->backBufferBitmap = CreateCompatibleBitmap(windowDC, static_cast<int>(width), static_cast<int>(height));
    SelectObject(mw->backBufferDC, mw->backBufferBitmap);
    ReleaseDC(mw->window, windowDC);
}

void drawTimeText(MainWindow* mw, const char* text, COLORREF colour) {
    // Size and paint messages come during creation, before the handle is
    // stored: there is no client rectangle to draw into yet.
    if (!mw->window) return;
    RECT client{};
    GetClientRect(mw->window, &client);
    BitBlt(mw->backBufferDC, 0, 0, client.right, client.bottom, mw->backBufferDC, 0, 0, BLACKNESS);
    SetTextColor(mw->backBufferDC, colour);
    SetBkColor(mw->backBufferDC, RGB(0, 0, 0));

    const LOGFONTW description = displayLogFont(processSettings().displayFont);
    const HFONT font = CreateFontIndirectW(&description);
    SelectObject(mw->backBufferDC, font);
    RECT area{};
    GetClientRect(mw->window, &area);
    area.top = scaled(2);
    // No DT_SINGLELINE: centred across, starting 2 pixels (at 96 DPI) from the top.
    const std::wstring shown = widenProgramText(text);
    DrawTextW(mw->backBufferDC, shown.c_str(), static_cast<int>(shown.size()), &area, DT_CENTER | DT_VCENTER);
    SelectObject(mw->backBufferDC, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

namespace {

// 12 pixels at 96 DPI, in "ＭＳ ゴシック".
HFONT createButtonFont() {
    LOGFONTW lf{};
    lf.lfHeight = scaled(12);
    std::memcpy(lf.lfFaceName, msGothicFace, sizeof msGothicFace);
    return CreateFontIndirectW(&lf);
}

}  // namespace

CommandButton* createCommandButton(const wchar_t* caption, RECT rect, int controlId) {
    MainWindow* mw = getMainWindow();
    CommandButton* button = new (std::nothrow) CommandButton();
    if (!button) return nullptr;
    button->parent = mw->window;
    button->rect = rect;
    button->window = CreateWindowExW(0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                                     rect.right - rect.left, rect.bottom - rect.top, button->parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), mw->instance, nullptr);
    // Lives until the process ends, like the button, or until a new scale
    // gives the button another.
    button->font = createButtonFont();
    SendMessageW(button->window, WM_SETFONT, reinterpret_cast<WPARAM>(button->font), TRUE);
    return button;
}

void rescaleCommandButtons() {
    for (CommandButton* button : commandButtons) {
        if (!button) continue;
        const HFONT font = createButtonFont();
        SendMessageW(button->window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        // The button draws with the new one now; the old is no one's.
        if (button->font) DeleteObject(button->font);
        button->font = font;
    }
}

void createCommandButtons() {
    for (int i = 0; i < commandButtonCount; ++i)
        commandButtons[i] = createCommandButton(buttonSpecs[i].caption, buttonSpecs[i].rect, buttonSpecs[i].id);
}

void freeCommandButtons() {
    for (CommandButton*& button : commandButtons) {
        delete button;
        button = nullptr;
    }
}

void commandButtonPlacement(int clientRight, int clientHeight, RECT out[commandButtonCount]) {
    const int w = clientRight / 5;
    const int x[commandButtonCount] = {0, w + 1, 2 * w + 1, 3 * w + 1, 4 * w + 1};
    const int width[commandButtonCount] = {w, w, w, w, w + 1};
    const int row = buttonRowHeight();
    for (int i = 0; i < commandButtonCount; ++i) out[i] = RECT{x[i], clientHeight - row, x[i] + width[i], clientHeight};
}

void layoutCommandButton(CommandButton* button, int clientHeight, int x, int width) {
    const int row = buttonRowHeight();
    button->rect = RECT{x, clientHeight - row, x + width, clientHeight};
    // Redrawn at its new size, and what it uncovers with it: a button keeps
    // no pixels of the size it had.
    MoveWindow(button->window, x, clientHeight - row, width, row, TRUE);
}

void layoutCommandButtons(LPARAM sizeLParam) {
    RECT client{};
    GetClientRect(getMainWindow()->window, &client);
    const int height = static_cast<int>(HIWORD(sizeLParam));
    RECT places[commandButtonCount];
    commandButtonPlacement(client.right, height, places);
    for (int i = 0; i < commandButtonCount; ++i)
        if (commandButtons[i])
            layoutCommandButton(commandButtons[i], height, places[i].left, places[i].right - places[i].left);
}

void showCommandButtons() {
    const int show = processSettings().Button != 0 ? SW_SHOW : SW_HIDE;
    for (CommandButton* button : commandButtons)
        if (button) ShowWindow(button->window, show);
}
