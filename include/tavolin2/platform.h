/* tavolin2 platform calls for hosts: the drawing surfaces and the media
 * channel the library's classes use themselves.
 *
 * A device context or bitmap handle made here is the same kind of handle the
 * classes take as hDc or a picture's Handle (one process-wide table), so a
 * host draws on what the classes draw on.  The calls carry the platform's
 * names with a T2 prefix and answer as the platform's calls do (0 or a zero
 * handle on failure).  The picture kit (kit.h) is built on these.
 *
 * Language: C11, or C++17 and later; it compiles alone with -pedantic at both.
 */
#ifndef TAVOLIN2_PLATFORM_H
#define TAVOLIN2_PLATFORM_H

#include "abi.h"

typedef int32_t T2HGDI;      /* any graphics handle: device context, bitmap, brush, font */
typedef uint32_t T2COLORREF; /* 0x00BBGGRR */

typedef struct T2RECT {
    int32_t left, top, right, bottom;
} T2RECT;
typedef struct T2SIZE {
    int32_t cx, cy;
} T2SIZE;
typedef struct T2RGBQUAD {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
} T2RGBQUAD;
#pragma pack(push, 2)
typedef struct T2BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight; /* positive: bottom-up rows */
    uint16_t biPlanes;
    uint16_t biBitCount; /* 24, or 8 with a colour table */
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} T2BITMAPINFOHEADER;
#pragma pack(pop)
typedef struct T2BITMAPINFO {
    T2BITMAPINFOHEADER bmiHeader;
    T2RGBQUAD bmiColors[256];
} T2BITMAPINFO;
/* The 24-byte bitmap record of a 32-bit platform. */
typedef struct T2BITMAP {
    int32_t bmType, bmWidth, bmHeight, bmWidthBytes;
    uint16_t bmPlanes, bmBitsPixel;
    int32_t bmBits;
} T2BITMAP;
typedef struct T2LOGFONT {
    int32_t lfHeight, lfWidth, lfEscapement, lfOrientation, lfWeight;
    uint8_t lfItalic, lfUnderline, lfStrikeOut, lfCharSet, lfOutPrecision, lfClipPrecision, lfQuality, lfPitchAndFamily;
    char lfFaceName[32]; /* Windows-1252 */
} T2LOGFONT;
typedef struct T2TEXTMETRIC {
    int32_t tmHeight, tmAscent, tmDescent, tmInternalLeading, tmExternalLeading, tmAveCharWidth, tmMaxCharWidth,
        tmWeight, tmOverhang, tmDigitizedAspectX, tmDigitizedAspectY;
    uint8_t tmFirstChar, tmLastChar, tmDefaultChar, tmBreakChar, tmItalic, tmUnderlined, tmStruckOut, tmPitchAndFamily,
        tmCharSet;
} T2TEXTMETRIC;
/* The pixels of a device context's bitmap or of a bitmap: `top` is the top
 * row, `step` the bytes from a row to the one below it (negative for
 * bottom-up memory); 8-bit surfaces have `colors`. */
typedef struct T2SURFACE {
    int32_t width, height, bpp;
    int64_t step;
    uint8_t* top;
    const T2RGBQUAD* colors;
} T2SURFACE;

#define T2_SRCCOPY 0x00CC0020u
#define T2_TRANSPARENT 1
#define T2_OPAQUE 2
#define T2_OBJ_BITMAP 7

T2_API T2HGDI T2CreateCompatibleDC(T2HGDI hdc);
T2_API int T2DeleteDC(T2HGDI hdc);
T2_API T2HGDI T2SelectObject(T2HGDI hdc, T2HGDI obj);
T2_API int T2DeleteObject(T2HGDI obj);
/* The object a device context has selected: kind 1 pen, 2 brush, 6 font, 7 bitmap. */
T2_API T2HGDI T2GetCurrentObject(T2HGDI hdc, int kind);
T2_API int T2GetObject(T2HGDI obj, int size, void* buffer);
/* 1 pen, 2 brush, 3 device context, 6 font, 7 bitmap, 10 memory device context; 0 none */
T2_API int T2GetObjectType(T2HGDI obj);
/* `bits32` receives the pixel address as a Long where it fits, else 0. */
T2_API T2HGDI T2CreateDIBSection(T2HGDI hdc, const T2BITMAPINFO* bmi, uint32_t usage, int32_t* bits32);
T2_API T2HGDI T2CreateCompatibleBitmap(T2HGDI hdc, int32_t width, int32_t height);
T2_API int T2BitBlt(T2HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, T2HGDI src, int32_t x1, int32_t y1,
                    uint32_t rop);
T2_API T2HGDI T2CreateSolidBrush(T2COLORREF color);
T2_API int T2FillRect(T2HGDI hdc, const T2RECT* rect, T2HGDI brush);
T2_API T2COLORREF T2SetPixel(T2HGDI hdc, int32_t x, int32_t y, T2COLORREF color);
/* 0xFFFFFFFF outside the surface */
T2_API T2COLORREF T2GetPixel(T2HGDI hdc, int32_t x, int32_t y);
T2_API T2HGDI T2CreateFontIndirect(const T2LOGFONT* lf);
T2_API int T2GetTextMetrics(T2HGDI hdc, T2TEXTMETRIC* tm);
T2_API int T2GetTextExtentPoint32(T2HGDI hdc, const char* text_cp1252, int length, T2SIZE* size);
T2_API int T2TextOut(T2HGDI hdc, int32_t x, int32_t y, const char* text_cp1252, int length);
T2_API T2COLORREF T2SetTextColor(T2HGDI hdc, T2COLORREF color);
T2_API T2COLORREF T2SetBkColor(T2HGDI hdc, T2COLORREF color);
T2_API int T2SetBkMode(T2HGDI hdc, int mode);
/* Non-zero with the surface filled in when the handle has pixels. */
T2_API int T2GetSurface(T2HGDI dc_or_bitmap, T2SURFACE* surface);

/* The media channel in its command-string form: returns 0 or an error number;
 * the answer goes to `reply` only when it fits `length` bytes. */
T2_API uint32_t T2mciSendString(const char* command, char* reply, uint32_t length, int32_t callback);
T2_API int T2mciGetErrorString(uint32_t code, char* text, uint32_t length);
/* The name of the channel's backend ("mpv", "none", "simulated"); *real is
 * non-zero when media are really heard and seen. */
T2_API const char* T2MediaBackend(int* real);

/* UTF-8 text in the platform's 8-bit code page (Windows-1252), in which the
 * media channel's commands and GDI text are written: at most `length` - 1
 * bytes and a terminating zero go to `out`.  Returns the number of characters
 * the code page cannot hold (each written as '?'); a byte that is not UTF-8
 * stays the byte it is. */
T2_API int T2TextToCodePage(const char* utf8, char* out, uint32_t length);

/* Files written as the library writes its own: the bytes go to a private
 * temporary file (mode 0600) and replace the target only when complete, a
 * replaced file keeps its mode, owner and links, and a link planted in a
 * sticky world-writable folder by another user is not followed.  Returns 0,
 * or the system's error number (errno) of the failure; the target is then as
 * it was.  T2GetLastError() gives the platform's number of the failure. */
T2_API int T2WriteWholeFile(const char* path, const void* data, size_t bytes);
/* The platform's last error of this thread (set by the library's file calls,
 * as by a failed cPalette.Save), and its text (without the line end) in
 * `text`: the characters written, 0 when the code has no text. */
T2_API uint32_t T2GetLastError(void);
T2_API uint32_t T2FormatMessage(uint32_t code, char* text, uint32_t length);

#endif
