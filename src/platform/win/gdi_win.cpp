// The graphics device interface is the platform's own: each call goes to GDI
// (and the clipboard to USER) with the 32-bit handle values the classes keep.
// Only the 24-byte BITMAP record is translated: the classes read the one of a
// 32-bit platform, whose pixel address is a 32-bit value.
#include "platform/gdi/gdi.hpp"

#include <cstring>

#include "platform/win/wide.hpp"

namespace t2::gdi {

using platform::win::handle;
using platform::win::value_of;

namespace {
HDC dc(HGDI h) { return handle<HDC>(h); }
HGDIOBJ obj(HGDI h) { return handle<HGDIOBJ>(h); }
}  // namespace

HGDI CreateCompatibleDC(HGDI hdc) { return value_of(::CreateCompatibleDC(dc(hdc))); }
HGDI CreateDCA(const char* driver, const char* device, const char* output, const void* init) {
    return value_of(::CreateDCA(driver, device, output, static_cast<const DEVMODEA*>(init)));
}
int DeleteDC(HGDI hdc) { return ::DeleteDC(dc(hdc)); }
HGDI SelectObject(HGDI hdc, HGDI o) { return value_of(::SelectObject(dc(hdc), obj(o))); }
int DeleteObject(HGDI o) { return ::DeleteObject(obj(o)); }
HGDI GetStockObject(int which) { return value_of(::GetStockObject(which)); }
HGDI GetCurrentObject(HGDI hdc, int kind) { return value_of(::GetCurrentObject(dc(hdc), static_cast<UINT>(kind))); }
int GetObjectType(HGDI o) { return static_cast<int>(::GetObjectType(obj(o))); }

int GetObjectA(HGDI o, int size, void* buffer) {
    if (::GetObjectType(obj(o)) == OBJ_BITMAP && buffer && size == static_cast<int>(sizeof(BITMAP))) {
        ::BITMAP bm{};
        if (!::GetObjectA(obj(o), sizeof bm, &bm)) return 0;
        BITMAP out{bm.bmType, bm.bmWidth, bm.bmHeight, bm.bmWidthBytes, bm.bmPlanes, bm.bmBitsPixel, 0};
        const auto address = reinterpret_cast<uintptr_t>(bm.bmBits);
        if (address <= 0x7FFFFFFFu) out.bmBits = static_cast<int32_t>(address);
        std::memcpy(buffer, &out, sizeof out);
        return static_cast<int>(sizeof out);
    }
    return ::GetObjectA(obj(o), size, buffer);
}

HGDI CreateDIBSection(HGDI hdc, const BITMAPINFO* bmi, uint32_t usage, int32_t* bits32, void* section,
                      uint32_t offset) {
    void* bits = nullptr;
    HBITMAP b = ::CreateDIBSection(dc(hdc), reinterpret_cast<const ::BITMAPINFO*>(bmi), usage, &bits,
                                   static_cast<HANDLE>(section), offset);
    if (bits32) {
        const auto address = reinterpret_cast<uintptr_t>(bits);
        *bits32 = address <= 0x7FFFFFFFu ? static_cast<int32_t>(address) : 0;
    }
    return value_of(b);
}

HGDI CreateCompatibleBitmap(HGDI hdc, int32_t width, int32_t height) {
    return value_of(::CreateCompatibleBitmap(dc(hdc), width, height));
}

int GetDIBits(HGDI hdc, HGDI bitmap, uint32_t start, uint32_t lines, void* bits, BITMAPINFO* bmi, uint32_t usage) {
    return ::GetDIBits(dc(hdc), handle<HBITMAP>(bitmap), start, lines, bits, reinterpret_cast<::BITMAPINFO*>(bmi),
                       usage);
}

int SetDIBits(HGDI hdc, HGDI bitmap, uint32_t start, uint32_t lines, const void* bits, const BITMAPINFO* bmi,
              uint32_t usage) {
    return ::SetDIBits(dc(hdc), handle<HBITMAP>(bitmap), start, lines, bits, reinterpret_cast<const ::BITMAPINFO*>(bmi),
                       usage);
}

uint8_t* bitmap_bits(HGDI bitmap) {
    DIBSECTION ds{};
    if (::GetObjectA(obj(bitmap), sizeof ds, &ds) != sizeof ds) return nullptr;
    return static_cast<uint8_t*>(ds.dsBm.bmBits);
}

uint8_t* bitmap_bits(HGDI bitmap, size_t bytes) {
    DIBSECTION ds{};
    if (::GetObjectA(obj(bitmap), sizeof ds, &ds) != sizeof ds || !ds.dsBm.bmBits) return nullptr;
    const size_t size = static_cast<size_t>(ds.dsBm.bmWidthBytes) * static_cast<size_t>(ds.dsBm.bmHeight);
    return size >= bytes ? static_cast<uint8_t*>(ds.dsBm.bmBits) : nullptr;
}

bool addresses_fit_32_bits() { return sizeof(void*) == 4; }

int BitBlt(HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, HGDI src, int32_t x1, int32_t y1, uint32_t rop) {
    return ::BitBlt(dc(dst), x, y, cx, cy, dc(src), x1, y1, rop);
}
int PatBlt(HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rop) {
    return ::PatBlt(dc(dst), x, y, cx, cy, rop);
}

HGDI CreateSolidBrush(COLORREF color) { return value_of(::CreateSolidBrush(color)); }
HGDI CreatePen(int style, int width, COLORREF color) { return value_of(::CreatePen(style, width, color)); }
int Rectangle(HGDI hdc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return ::Rectangle(dc(hdc), left, top, right, bottom);
}
int FillRect(HGDI hdc, const RECT* rect, HGDI brush) {
    return ::FillRect(dc(hdc), reinterpret_cast<const ::RECT*>(rect), handle<HBRUSH>(brush));
}
COLORREF SetPixel(HGDI hdc, int32_t x, int32_t y, COLORREF color) { return ::SetPixel(dc(hdc), x, y, color); }
COLORREF GetPixel(HGDI hdc, int32_t x, int32_t y) { return ::GetPixel(dc(hdc), x, y); }
int SetRect(RECT* rect, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return ::SetRect(reinterpret_cast<::RECT*>(rect), left, top, right, bottom);
}
int GetDeviceCaps(HGDI hdc, int index) { return ::GetDeviceCaps(dc(hdc), index); }
int32_t MulDiv(int32_t a, int32_t b, int32_t c) { return ::MulDiv(a, b, c); }

HGDI CreateFontIndirectA(const LOGFONTA* lf) {
    return value_of(::CreateFontIndirectA(reinterpret_cast<const ::LOGFONTA*>(lf)));
}
int GetTextMetricsA(HGDI hdc, TEXTMETRICA* tm) {
    ::TEXTMETRICA t{};
    if (!::GetTextMetricsA(dc(hdc), &t)) return 0;
    *tm = TEXTMETRICA{t.tmHeight,           t.tmAscent,       t.tmDescent,   t.tmInternalLeading, t.tmExternalLeading,
                      t.tmAveCharWidth,     t.tmMaxCharWidth, t.tmWeight,    t.tmOverhang,        t.tmDigitizedAspectX,
                      t.tmDigitizedAspectY, t.tmFirstChar,    t.tmLastChar,  t.tmDefaultChar,     t.tmBreakChar,
                      t.tmItalic,           t.tmUnderlined,   t.tmStruckOut, t.tmPitchAndFamily,  t.tmCharSet};
    return 1;
}
int GetTextExtentPoint32A(HGDI hdc, const char* text, int length, SIZE* size) {
    return ::GetTextExtentPoint32A(dc(hdc), text, length, reinterpret_cast<::SIZE*>(size));
}
int DrawTextA(HGDI hdc, const char* text, int length, RECT* rect, uint32_t format) {
    return ::DrawTextA(dc(hdc), text, length, reinterpret_cast<::RECT*>(rect), format);
}
int TextOutA(HGDI hdc, int32_t x, int32_t y, const char* text, int length) {
    return ::TextOutA(dc(hdc), x, y, text, length);
}
COLORREF SetTextColor(HGDI hdc, COLORREF color) { return ::SetTextColor(dc(hdc), color); }
COLORREF SetBkColor(HGDI hdc, COLORREF color) { return ::SetBkColor(dc(hdc), color); }
int SetBkMode(HGDI hdc, int mode) { return ::SetBkMode(dc(hdc), mode); }
int SetTextCharacterExtra(HGDI hdc, int extra) { return ::SetTextCharacterExtra(dc(hdc), extra); }

int OpenClipboard(int32_t owner) { return ::OpenClipboard(handle<HWND>(owner)); }
int CloseClipboard() { return ::CloseClipboard(); }
int EmptyClipboard() { return ::EmptyClipboard(); }
int32_t SetClipboardData(uint32_t format, int32_t h) { return value_of(::SetClipboardData(format, handle<HANDLE>(h))); }
int32_t GetClipboardData(uint32_t format) { return value_of(::GetClipboardData(format)); }
int IsClipboardFormatAvailable(uint32_t format) { return ::IsClipboardFormatAvailable(format); }

}  // namespace t2::gdi
