// The main window's furniture: its record, class and creation, the back
// buffer, the text renderer and the five command buttons.
#pragma once

#include <windows.h>

struct MainWindow {
    HWND window;
    WNDCLASSW windowClass;
    const wchar_t* className;
    const wchar_t* title;
    HINSTANCE instance;
    HDC backBufferDC;
    HBITMAP backBufferBitmap;
};

struct CommandButton {
    HWND parent;
    HWND window;
    RECT rect;  // in the main window's client coordinates
    HFONT font;
};

inline constexpr int commandButtonCount = 5;
// Empty until the entry point creates the buttons; GUI thread only.
extern CommandButton* commandButtons[commandButtonCount];

// Created on first use; freed by freeMainWindow.
MainWindow* getMainWindow();
void freeMainWindow();

// 1 when the window exists, 0 when the class could not be registered.
int createMainWindow(HINSTANCE instance, MainWindow* mainWindow);
void recreateBackBuffer(MainWindow* mainWindow, unsigned width, unsigned height);
void drawTimeText(MainWindow* mainWindow, const char* text, COLORREF colour);

CommandButton* createCommandButton(const wchar_t* caption, RECT rect, int controlId);
void createCommandButtons();
void freeCommandButtons();
void layoutCommandButtons(LPARAM sizeLParam);
void layoutCommandButton(CommandButton* button, int clientHeight, int x, int width);
void showCommandButtons();
// The window's scale changed: each button gets its font anew at it.
void rescaleCommandButtons();

// Where the five buttons go for a client width and height: the rectangles
// layoutCommandButtons gives them.
void commandButtonPlacement(int clientRight, int clientHeight, RECT out[commandButtonCount]);

// A length Morvi lays out itself, given in 96-DPI pixels, at the window's DPI.
int scaled(int pixels96);
// The button row's height: 28 pixels at 96 DPI.
int buttonRowHeight();
// The system's DPI, taken once at start-up: the window's too until it is
// shown on a monitor of another scale.
void takeScreenDpi();

// "ＭＳ ゴシック", the buttons' face.
extern const wchar_t msGothicFace[];
