// The few Win32 types the settings record is made of. On Windows they are the
// platform's own; elsewhere this header declares look-alikes with the same
// member names and 32-bit integer members, so the record and its file code
// build and run natively too.
#pragma once

#ifdef _WIN32
#include <windows.h>
// after windows.h, which it needs
#include <commdlg.h>
#else
#include <cstdint>

using LONG = std::int32_t;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using COLORREF = DWORD;

constexpr int LF_FACESIZE = 32;

struct LOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    char lfFaceName[LF_FACESIZE];
};

struct CHOOSEFONTA {
    DWORD lStructSize;
    void* hwndOwner;
    void* hDC;
    LOGFONTA* lpLogFont;
    std::int32_t iPointSize;
    DWORD Flags;
    COLORREF rgbColors;
    std::intptr_t lCustData;
    void* lpfnHook;
    const char* lpTemplateName;
    void* hInstance;
    char* lpszStyle;
    WORD nFontType;
    WORD ___MISSING_ALIGNMENT__;
    std::int32_t nSizeMin;
    std::int32_t nSizeMax;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
#endif

static_assert(sizeof(LOGFONTA) == 60, "LOGFONTA must keep its 60-byte layout");
