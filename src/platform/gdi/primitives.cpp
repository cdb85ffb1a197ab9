// Filled shapes, pixels, device capabilities and MulDiv.
#include <cstdlib>
#include <string>

#include "platform/gdi/internal.hpp"

namespace t2::gdi {

// Fills with the selected brush and outlines with the selected pen; right and
// bottom are exclusive.  With the null pen nothing is outlined and the filled
// area is one pixel narrower and one pixel lower.
int Rectangle(HGDI hdc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    BitmapObj* bm = dc_bitmap(dc);
    if (call_trace())
        trace("Rectangle " + std::to_string(left) + " " + std::to_string(top) + " " + std::to_string(right) + " " +
              std::to_string(bottom));
    if (!bm) return 0;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    Object* bo = find(dc->brush);
    Object* po = find(dc->pen);
    const BrushObj* brush = bo && bo->kind == Kind::Brush ? bo->brush.get() : nullptr;
    const PenObj* pen = po && po->kind == Kind::Pen ? po->pen.get() : nullptr;
    const bool outline = pen && pen->style != PS_NULL;
    if (!outline) {
        if (brush && !brush->hollow) fill_rect(bm, left, top, right - 1, bottom - 1, brush->color);
        return 1;
    }
    const int w = pen->width;
    if (brush && !brush->hollow) fill_rect(bm, left + w, top + w, right - w, bottom - w, brush->color);
    fill_rect(bm, left, top, right, std::min(top + w, bottom), pen->color);
    fill_rect(bm, left, std::max(bottom - w, top), right, bottom, pen->color);
    fill_rect(bm, left, top, std::min(left + w, right), bottom, pen->color);
    fill_rect(bm, std::max(right - w, left), top, right, bottom, pen->color);
    return 1;
}

int FillRect(HGDI hdc, const RECT* rect, HGDI brush) {
    auto& t = table();
    Lock lock(t.lock);
    BitmapObj* bm = dc_bitmap(find_dc(hdc));
    Object* bo = find(brush);
    if (!bm || !rect || !bo || bo->kind != Kind::Brush) return 0;
    if (!bo->brush->hollow) fill_rect(bm, rect->left, rect->top, rect->right, rect->bottom, bo->brush->color);
    return 1;
}

COLORREF SetPixel(HGDI hdc, int32_t x, int32_t y, COLORREF color) {
    auto& t = table();
    Lock lock(t.lock);
    BitmapObj* bm = dc_bitmap(find_dc(hdc));
    if (!bm || x < 0 || y < 0 || x >= bm->width || y >= bm->height) return 0xFFFFFFFF;
    put_pixel(bm, x, y, color);
    return color & 0xFFFFFF;
}

COLORREF GetPixel(HGDI hdc, int32_t x, int32_t y) {
    auto& t = table();
    Lock lock(t.lock);
    BitmapObj* bm = dc_bitmap(find_dc(hdc));
    if (!bm || x < 0 || y < 0 || x >= bm->width || y >= bm->height) return 0xFFFFFFFF;
    return bm->format->decode(*bm, bm->row(y) + static_cast<size_t>(x) * bm->format->bytes);
}

int SetRect(RECT* rect, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (!rect) return 0;
    *rect = {left, top, right, bottom};
    return 1;
}

int GetDeviceCaps(HGDI hdc, int index) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    if (!dc) return 0;
    BitmapObj* bm = dc_bitmap(dc);
    switch (index) {
        case LOGPIXELSX:
        case LOGPIXELSY: return 96;
        case HORZRES: return bm ? bm->width : 0;
        case VERTRES: return bm ? bm->height : 0;
        case BITSPIXEL: return bm ? bm->bpp : 24;
        case PLANES: return 1;
        default: return 0;
    }
}

// a * b / c with a 64-bit product, rounded half away from zero; -1 when c is 0
// or the result leaves 32 bits.
int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    int64_t p = static_cast<int64_t>(a) * b;
    int64_t q = p / c, r = p % c;
    if (2 * std::llabs(r) >= std::llabs(static_cast<int64_t>(c))) q += ((p < 0) != (c < 0)) ? -1 : 1;
    if (q > INT32_MAX || q < INT32_MIN) return -1;
    return static_cast<int32_t>(q);
}

}  // namespace t2::gdi
