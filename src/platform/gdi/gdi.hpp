// The graphics device interface of the platform layer: device contexts, bitmaps
// (24-bit and 8-bit sections, compatible bitmaps), brushes, pens, fonts, bit-block
// transfers with all 256 raster operations, colour matching, text, clipboard.
// Handles are 32-bit values in one process-wide table; functions take the
// arguments the library's classes pass and answer the way they rely on.
// Internal to the library: hosts reach the same objects through the C entry
// points of tavolin2/platform.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#define T2_GDI_API

namespace t2::gdi {

using HGDI = int32_t;       // any handle: device context, bitmap, brush, pen, font
using COLORREF = uint32_t;  // 0x00BBGGRR

struct RECT {
    int32_t left, top, right, bottom;
};
struct SIZE {
    int32_t cx, cy;
};
struct RGBQUAD {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
#pragma pack(push, 2)
struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];  // used for 8-bit bitmaps
};
// The 24-byte BITMAP record of a 32-bit platform (bmBits as a 32-bit value).
struct BITMAP {
    int32_t bmType;
    int32_t bmWidth;
    int32_t bmHeight;
    int32_t bmWidthBytes;
    uint16_t bmPlanes;
    uint16_t bmBitsPixel;
    int32_t bmBits;
};
static_assert(sizeof(BITMAP) == 24);
struct LOGFONTA {
    int32_t lfHeight;
    int32_t lfWidth;
    int32_t lfEscapement;
    int32_t lfOrientation;
    int32_t lfWeight;
    uint8_t lfItalic;
    uint8_t lfUnderline;
    uint8_t lfStrikeOut;
    uint8_t lfCharSet;
    uint8_t lfOutPrecision;
    uint8_t lfClipPrecision;
    uint8_t lfQuality;
    uint8_t lfPitchAndFamily;
    char lfFaceName[32];
};
static_assert(sizeof(LOGFONTA) == 60);
struct TEXTMETRICA {
    int32_t tmHeight, tmAscent, tmDescent, tmInternalLeading, tmExternalLeading, tmAveCharWidth, tmMaxCharWidth,
        tmWeight, tmOverhang, tmDigitizedAspectX, tmDigitizedAspectY;
    uint8_t tmFirstChar, tmLastChar, tmDefaultChar, tmBreakChar, tmItalic, tmUnderlined, tmStruckOut, tmPitchAndFamily,
        tmCharSet;
};

// raster operations by name
inline constexpr uint32_t SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046,
                          SRCERASE = 0x00440328, NOTSRCCOPY = 0x00330008, NOTSRCERASE = 0x001100A6,
                          MERGECOPY = 0x00C000CA, MERGEPAINT = 0x00BB0226, PATCOPY = 0x00F00021, PATPAINT = 0x00FB0A09,
                          PATINVERT = 0x005A0049, DSTINVERT = 0x00550009, BLACKNESS = 0x00000042,
                          WHITENESS = 0x00FF0062;
// stock objects
inline constexpr int WHITE_BRUSH = 0, LTGRAY_BRUSH = 1, GRAY_BRUSH = 2, DKGRAY_BRUSH = 3, BLACK_BRUSH = 4,
                     NULL_BRUSH = 5, HOLLOW_BRUSH = 5, WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8, OEM_FIXED_FONT = 10,
                     ANSI_FIXED_FONT = 11, ANSI_VAR_FONT = 12, SYSTEM_FONT = 13, DEFAULT_GUI_FONT = 17;
inline constexpr int PS_SOLID = 0, PS_NULL = 5;
inline constexpr int TRANSPARENT = 1, OPAQUE = 2;
inline constexpr uint32_t DT_LEFT = 0, DT_CENTER = 1, DT_RIGHT = 2, DT_VCENTER = 4, DT_BOTTOM = 8, DT_SINGLELINE = 0x20,
                          DT_NOCLIP = 0x100, DT_CALCRECT = 0x400;
inline constexpr int HORZRES = 8, VERTRES = 10, BITSPIXEL = 12, PLANES = 14, LOGPIXELSX = 88, LOGPIXELSY = 90;
inline constexpr uint32_t DIB_RGB_COLORS = 0, BI_RGB = 0;
inline constexpr uint32_t CF_BITMAP = 2;

// ---- objects and device contexts ----
T2_GDI_API HGDI CreateCompatibleDC(HGDI hdc);
T2_GDI_API HGDI CreateDCA(const char* driver, const char* device, const char* output, const void* init);
T2_GDI_API int DeleteDC(HGDI hdc);
T2_GDI_API HGDI SelectObject(HGDI hdc, HGDI obj);
T2_GDI_API int DeleteObject(HGDI obj);
T2_GDI_API HGDI GetStockObject(int which);
T2_GDI_API HGDI GetCurrentObject(HGDI hdc, int kind);  // kind: 1 pen, 2 brush, 6 font, 7 bitmap
T2_GDI_API int GetObjectA(HGDI obj, int size, void* buffer);
T2_GDI_API int GetObjectType(HGDI obj);  // 1 pen, 2 brush, 3 dc, 6 font, 7 bitmap, 10 memory dc; 0 none

// ---- bitmaps ----
// bits32 receives the pixel address as a 32-bit value: the real address where the
// memory lies below 2 GiB, else 0 (the section works all the same through its handle).
T2_GDI_API HGDI CreateDIBSection(HGDI hdc, const BITMAPINFO* bmi, uint32_t usage, int32_t* bits32, void* section,
                                 uint32_t offset);
T2_GDI_API HGDI CreateCompatibleBitmap(HGDI hdc, int32_t width, int32_t height);
T2_GDI_API int GetDIBits(HGDI hdc, HGDI bitmap, uint32_t start, uint32_t lines, void* bits, BITMAPINFO* bmi,
                         uint32_t usage);
T2_GDI_API int SetDIBits(HGDI hdc, HGDI bitmap, uint32_t start, uint32_t lines, const void* bits, const BITMAPINFO* bmi,
                         uint32_t usage);
// The pixel memory behind a bitmap handle; with `bytes`, only if the bitmap
// holds at least that many.  This is how the library reaches a section's memory.
T2_GDI_API uint8_t* bitmap_bits(HGDI bitmap);
T2_GDI_API uint8_t* bitmap_bits(HGDI bitmap, size_t bytes);
// The memory of the live bitmap starting at a published 32-bit address when it
// holds at least `bytes`; nullptr for 0, an interior or a stale address.  One
// hash lookup.
T2_GDI_API uint8_t* address_of(int32_t bits32, size_t bytes);
// Whether pixel addresses fit 32 bits on this machine (otherwise bits32 is 0).
T2_GDI_API bool addresses_fit_32_bits();
// Off: new pixel memory is placed as it is once the 32-bit window is full (tests).
T2_GDI_API void use_32bit_window(bool on);

// ---- transfers ----
T2_GDI_API int BitBlt(HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, HGDI src, int32_t x1, int32_t y1,
                      uint32_t rop);
T2_GDI_API int PatBlt(HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rop);
// Nearest colour of a table by squared RGB distance, lowest index on ties.
T2_GDI_API int nearest_color_index(const RGBQUAD* table, int count, uint8_t r, uint8_t g, uint8_t b);

// ---- drawing ----
T2_GDI_API HGDI CreateSolidBrush(COLORREF color);
T2_GDI_API HGDI CreatePen(int style, int width, COLORREF color);
T2_GDI_API int Rectangle(HGDI hdc, int32_t left, int32_t top, int32_t right, int32_t bottom);
T2_GDI_API int FillRect(HGDI hdc, const RECT* rect, HGDI brush);
T2_GDI_API COLORREF SetPixel(HGDI hdc, int32_t x, int32_t y, COLORREF color);
T2_GDI_API COLORREF GetPixel(HGDI hdc, int32_t x, int32_t y);
T2_GDI_API int SetRect(RECT* rect, int32_t left, int32_t top, int32_t right, int32_t bottom);
T2_GDI_API int GetDeviceCaps(HGDI hdc, int index);
T2_GDI_API int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// ---- text ----
T2_GDI_API HGDI CreateFontIndirectA(const LOGFONTA* lf);
T2_GDI_API int GetTextMetricsA(HGDI hdc, TEXTMETRICA* tm);
T2_GDI_API int GetTextExtentPoint32A(HGDI hdc, const char* text, int length, SIZE* size);
T2_GDI_API int DrawTextA(HGDI hdc, const char* text, int length, RECT* rect, uint32_t format);
T2_GDI_API int TextOutA(HGDI hdc, int32_t x, int32_t y, const char* text, int length);
T2_GDI_API COLORREF SetTextColor(HGDI hdc, COLORREF color);
T2_GDI_API COLORREF SetBkColor(HGDI hdc, COLORREF color);
T2_GDI_API int SetBkMode(HGDI hdc, int mode);
T2_GDI_API int SetTextCharacterExtra(HGDI hdc, int extra);
// The file a font handle was resolved to (for diagnostics and tests).
T2_GDI_API std::string font_file(HGDI font);

// ---- clipboard ----
T2_GDI_API int OpenClipboard(int32_t owner);
T2_GDI_API int CloseClipboard();
T2_GDI_API int EmptyClipboard();
T2_GDI_API int32_t SetClipboardData(uint32_t format, int32_t handle);  // the clipboard takes ownership
T2_GDI_API int32_t GetClipboardData(uint32_t format);
T2_GDI_API int IsClipboardFormatAvailable(uint32_t format);

// ---- inspection, for hosts and tests ----
// Records the drawing calls Rectangle, DrawTextA and SetTextCharacterExtra with their
// arguments as text lines ("Rectangle 10 10 71 41"), while `log` is set; nullptr stops it.
T2_GDI_API void trace_calls(std::vector<std::string>* log);
T2_GDI_API size_t object_count();  // live objects in the handle table, stock objects excluded
// The surface of a device context or bitmap: width, height, bits per pixel (24 or 8), row stride,
// and the address of the top row with the stride to step down (negative for bottom-up memory).
struct Surface {
    int32_t width = 0, height = 0, bpp = 0;
    int64_t step = 0;  // bytes from one row to the row below it in the picture
    uint8_t* top = nullptr;
    const RGBQUAD* colors = nullptr;  // 8-bit surfaces
};
T2_GDI_API bool surface_of(HGDI dc_or_bitmap, Surface& out);

}  // namespace t2::gdi
