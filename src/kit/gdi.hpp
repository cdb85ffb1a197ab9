// The drawing calls of the kit under the platform's own names, over the
// library's exported platform entry points (tavolin2/platform.h): the kit draws
// on the library's handle table, so its device contexts are hDc values the
// classes accept.
#pragma once

#include "tavolin2/platform.h"

namespace kit::gdi {

using HGDI = T2HGDI;
using COLORREF = T2COLORREF;
using RECT = T2RECT;
using SIZE = T2SIZE;
using RGBQUAD = T2RGBQUAD;
using BITMAPINFO = T2BITMAPINFO;
using BITMAP = T2BITMAP;
using LOGFONTA = T2LOGFONT;
using TEXTMETRICA = T2TEXTMETRIC;
using Surface = T2SURFACE;

inline constexpr uint32_t SRCCOPY = T2_SRCCOPY, DIB_RGB_COLORS = 0, BI_RGB = 0;
inline constexpr int TRANSPARENT = T2_TRANSPARENT, OPAQUE = T2_OPAQUE;

inline HGDI CreateCompatibleDC(HGDI dc) { return T2CreateCompatibleDC(dc); }
inline int DeleteDC(HGDI dc) { return T2DeleteDC(dc); }
inline HGDI SelectObject(HGDI dc, HGDI obj) { return T2SelectObject(dc, obj); }
inline int DeleteObject(HGDI obj) { return T2DeleteObject(obj); }
inline int GetObjectA(HGDI obj, int size, void* out) { return T2GetObject(obj, size, out); }
inline int GetObjectType(HGDI obj) { return T2GetObjectType(obj); }
inline HGDI CreateDIBSection(HGDI dc, const BITMAPINFO* bmi, uint32_t usage, int32_t* bits, void*, uint32_t) {
    return T2CreateDIBSection(dc, bmi, usage, bits);
}
inline HGDI CreateCompatibleBitmap(HGDI dc, int32_t w, int32_t h) { return T2CreateCompatibleBitmap(dc, w, h); }
inline int BitBlt(HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, HGDI src, int32_t x1, int32_t y1,
                  uint32_t rop) {
    return T2BitBlt(dst, x, y, cx, cy, src, x1, y1, rop);
}
inline HGDI CreateSolidBrush(COLORREF c) { return T2CreateSolidBrush(c); }
inline int FillRect(HGDI dc, const RECT* r, HGDI brush) { return T2FillRect(dc, r, brush); }
inline COLORREF SetPixel(HGDI dc, int32_t x, int32_t y, COLORREF c) { return T2SetPixel(dc, x, y, c); }
inline HGDI CreateFontIndirectA(const LOGFONTA* lf) { return T2CreateFontIndirect(lf); }
inline int GetTextMetricsA(HGDI dc, TEXTMETRICA* tm) { return T2GetTextMetrics(dc, tm); }
inline int GetTextExtentPoint32A(HGDI dc, const char* s, int n, SIZE* size) {
    return T2GetTextExtentPoint32(dc, s, n, size);
}
inline int TextOutA(HGDI dc, int32_t x, int32_t y, const char* s, int n) { return T2TextOut(dc, x, y, s, n); }
inline COLORREF SetTextColor(HGDI dc, COLORREF c) { return T2SetTextColor(dc, c); }
inline COLORREF SetBkColor(HGDI dc, COLORREF c) { return T2SetBkColor(dc, c); }
inline int SetBkMode(HGDI dc, int mode) { return T2SetBkMode(dc, mode); }
inline bool surface_of(HGDI h, Surface& s) { return T2GetSurface(h, &s) != 0; }

}  // namespace kit::gdi
