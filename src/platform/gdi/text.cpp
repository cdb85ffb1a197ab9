// Text on device contexts: fonts from LOGFONTA, metrics, extents, DrawTextA
// (left, centre, right, compute-only) and TextOutA, colours and modes.
#include <cstring>
#include <vector>

#include "platform/gdi/font.hpp"

namespace t2::gdi {

namespace {

FontObj* font_of(DCObj* dc) {
    Object* o = find(dc->font);
    if (!o || o->kind != Kind::Font) return nullptr;
    if (!o->font->face) o->font->face = resolve_face(o->font->lf);
    return o->font.get();
}

struct Line {
    const char* text;
    int length;
};

std::vector<Line> split_lines(const char* text, int length, bool single) {
    std::vector<Line> lines;
    int start = 0;
    for (int i = 0; i <= length; ++i) {
        bool end = i == length;
        bool brk = !end && !single && (text[i] == '\r' || text[i] == '\n');
        if (!end && !brk) continue;
        lines.push_back({text + start, i - start});
        if (brk && text[i] == '\r' && i + 1 < length && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    return lines;
}

int32_t line_width(FontFace* f, const Line& l, int extra) {
    int32_t w = 0;
    for (int i = 0; i < l.length; ++i) w += f->advance(static_cast<uint8_t>(l.text[i])) + extra;
    return w;
}

// Draws one line with the top of its cell at y; returns its width.
void draw_line(DCObj* dc, FontObj* font, int32_t x, int32_t y, const Line& l, const RECT& clip) {
    BitmapObj* bm = dc_bitmap(dc);
    FontFace* f = font->face.get();
    const TEXTMETRICA& tm = f->metrics();
    int32_t w = line_width(f, l, dc->char_extra);
    if (dc->bk_mode == OPAQUE) {
        RECT r{std::max(x, clip.left), std::max(y, clip.top), std::min(x + w, clip.right),
               std::min(y + tm.tmHeight, clip.bottom)};
        fill_rect(bm, r.left, r.top, r.right, r.bottom, dc->bk_color);
    }
    int32_t pen = x;
    for (int i = 0; i < l.length; ++i) {
        auto ch = static_cast<uint8_t>(l.text[i]);
        f->draw(bm, pen, y, ch, dc->text_color, clip);
        pen += f->advance(ch) + dc->char_extra;
    }
    int32_t baseline = y + tm.tmAscent;
    auto hline = [&](int32_t yy, int thick) {
        fill_rect(bm, std::max(x, clip.left), std::max(yy, clip.top), std::min(x + w, clip.right),
                  std::min(yy + thick, clip.bottom), dc->text_color);
    };
    if (font->lf.lfUnderline) hline(baseline + f->underline_offset, f->underline_thickness);
    if (font->lf.lfStrikeOut) hline(baseline - f->strike_offset, f->underline_thickness);
}

}  // namespace

std::shared_ptr<FontFace> default_face() {
    static std::shared_ptr<FontFace> f = resolve_face(default_logfont(false));
    return f;
}

FontFace* dc_face(DCObj* dc) {
    FontObj* f = dc ? font_of(dc) : nullptr;
    return f ? f->face.get() : default_face().get();
}

HGDI CreateFontIndirectA(const LOGFONTA* lf) {
    auto& t = table();
    Lock lock(t.lock);
    if (!lf) return 0;
    Object o(Kind::Font);
    o.font = std::make_unique<FontObj>();
    o.font->lf = *lf;
    o.font->lf.lfFaceName[31] = 0;
    o.font->face = resolve_face(o.font->lf);
    return insert(std::move(o));
}

std::string font_file(HGDI font) {
    auto& t = table();
    Lock lock(t.lock);
    Object* o = find(font);
    if (!o || o->kind != Kind::Font) return {};
    if (!o->font->face) o->font->face = resolve_face(o->font->lf);
    return o->font->face->file();
}

int GetTextMetricsA(HGDI hdc, TEXTMETRICA* tm) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    if (!dc || !tm) return 0;
    *tm = dc_face(dc)->metrics();
    return 1;
}

int GetTextExtentPoint32A(HGDI hdc, const char* text, int length, SIZE* size) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    if (!dc || !size || length < 0 || (length > 0 && !text)) return 0;
    FontFace* f = dc_face(dc);
    size->cx = line_width(f, {text, length}, dc->char_extra);
    size->cy = f->metrics().tmHeight;
    return 1;
}

int DrawTextA(HGDI hdc, const char* text, int length, RECT* rect, uint32_t format) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    if (!dc || !rect || !text) return 0;
    if (length < 0) length = static_cast<int>(std::strlen(text));
    if (call_trace())
        trace("DrawTextA \"" + std::string(text, static_cast<size_t>(length)) + "\" " + std::to_string(rect->left) +
              " " + std::to_string(rect->top) + " " + std::to_string(rect->right) + " " + std::to_string(rect->bottom) +
              " " + std::to_string(format));
    FontObj* font = font_of(dc);
    if (!font) return 0;
    FontFace* f = font->face.get();
    const int32_t h = f->metrics().tmHeight;
    auto lines = split_lines(text, length, format & DT_SINGLELINE);
    const int32_t total = h * static_cast<int32_t>(lines.size());
    if (format & DT_CALCRECT) {
        int32_t w = 0;
        for (const Line& l : lines) w = std::max(w, line_width(f, l, dc->char_extra));
        rect->right = rect->left + w;
        rect->bottom = rect->top + total;
        return total;
    }
    RECT clip = (format & DT_NOCLIP) ? RECT{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2} : *rect;
    int32_t y = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_BOTTOM)
            y = rect->bottom - h;
        else if (format & DT_VCENTER)
            y = rect->top + (rect->bottom - rect->top - h) / 2;
    }
    for (const Line& l : lines) {
        int32_t w = line_width(f, l, dc->char_extra);
        int32_t x = rect->left;
        if (format & DT_CENTER)
            x = rect->left + (rect->right - rect->left - w) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - w;
        draw_line(dc, font, x, y, l, clip);
        y += h;
    }
    return total;
}

int TextOutA(HGDI hdc, int32_t x, int32_t y, const char* text, int length) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    if (!dc || length < 0 || (length && !text)) return 0;
    FontObj* font = font_of(dc);
    if (!font) return 0;
    RECT all{INT32_MIN / 2, INT32_MIN / 2, INT32_MAX / 2, INT32_MAX / 2};
    draw_line(dc, font, x, y, {text, length}, all);
    return 1;
}

COLORREF SetTextColor(HGDI hdc, COLORREF color) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    if (!dc) return 0xFFFFFFFF;
    COLORREF prev = dc->text_color;
    dc->text_color = color & 0xFFFFFF;
    return prev;
}

COLORREF SetBkColor(HGDI hdc, COLORREF color) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    if (!dc) return 0xFFFFFFFF;
    COLORREF prev = dc->bk_color;
    dc->bk_color = color & 0xFFFFFF;
    return prev;
}

int SetBkMode(HGDI hdc, int mode) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int prev = dc->bk_mode;
    dc->bk_mode = mode;
    return prev;
}

int SetTextCharacterExtra(HGDI hdc, int extra) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    if (!dc) return static_cast<int>(0x80000000);
    trace("SetTextCharacterExtra " + std::to_string(extra));
    int prev = dc->char_extra;
    dc->char_extra = extra;
    return prev;
}

}  // namespace t2::gdi
