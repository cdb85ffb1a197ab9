// The Code 128 drawing engine: validation, caption font, layout of background,
// bars and caption, painting through the graphics layer, and clean-up of every
// object it made, also when an error ends the call.
#include <cstring>

#include "barcode/code128.hpp"
#include "barcode/code128_patterns.hpp"
#include "frame/errors.hpp"
#include "platform/gdi/gdi.hpp"

namespace t2::barcode {

namespace {

using namespace t2::gdi;

// The caption font's escapement, and the axis whose resolution turns points into pixels.
struct OrientationRow {
    int32_t escapement;
    int caps;
};
constexpr OrientationRow kOrientation[4] = {
    {3600, LOGPIXELSY}, {900, LOGPIXELSX}, {1800, LOGPIXELSY}, {2700, LOGPIXELSX}};

// The face-name field holds 31 bytes and the closing zero.
constexpr size_t kMaxFaceName = 30;

Long validate(const BarcodeProps& p) {
    Long code = 0;
    if (p.ModuleWidth <= 0)
        code = codes::InvalidWidth;
    else if (p.BarHeight <= 0)
        code = codes::InvalidHeight;
    else if (p.Align < 1 || p.Align > 4)
        code = codes::InvalidAlign;
    else if (p.FontSize <= 0)
        code = codes::FontFailed;
    else if (p.FontName.empty() || p.Style < 0 || p.Style > 15 || p.Orientation < 0 || p.Orientation > 3)
        code = codes::FontFailed;
    else if (p.Symbology != kSymbologyCode128)
        code = codes::UnknownSymbology;
    else if (p.TextDisplay != 1 && p.TextDisplay != 2)
        code = codes::InvalidTextDisplay;
    // an illegal character replaces whatever came before
    if (!p.Text.empty() && CheckCode128Text(p.Text) == codes::IllegalCharacter) code = codes::IllegalCharacter;
    return code;
}

// What the engine made and selected: put back and deleted however the call
// ends, in one order (the old font, the stock brush and pen, then the objects).
struct Made {
    HGDI dc;
    HGDI font = 0, old_font = 0, back_brush = 0, bar_brush = 0, bar_pen = 0;
    bool font_selected = false;
    ~Made() {
        if (font_selected) SelectObject(dc, old_font);
        SelectObject(dc, GetStockObject(HOLLOW_BRUSH));
        SelectObject(dc, GetStockObject(BLACK_PEN));
        for (HGDI h : {back_brush, bar_brush, font, bar_pen})
            if (h) DeleteObject(h);
    }
};

}  // namespace

Long DrawBarcode(const BarcodeProps& props, Long hdc) {
    // B. validation
    Long code = validate(props);
    if (props.Text.empty() || code != 0) return code;

    Made made{hdc};
    // C. the caption font
    LOGFONTA lf{};
    const OrientationRow& o = kOrientation[props.Orientation];
    lf.lfHeight = -MulDiv(props.FontSize, GetDeviceCaps(hdc, o.caps), 72);
    lf.lfWidth = 0;
    lf.lfEscapement = o.escapement;
    lf.lfOrientation = 0;
    lf.lfWeight = (props.Style & 1) ? 700 : 400;
    lf.lfItalic = (props.Style & 2) ? 255 : 0;
    lf.lfUnderline = (props.Style & 4) ? 1 : 0;
    lf.lfStrikeOut = (props.Style & 8) ? 1 : 0;
    lf.lfCharSet = 0;
    lf.lfOutPrecision = 3;
    lf.lfClipPrecision = 2;
    lf.lfQuality = 1;
    lf.lfPitchAndFamily = 2;
    const std::string face = to_code_page(props.FontName);
    if (face.size() > kMaxFaceName) raise(err::Subscript);
    std::memcpy(lf.lfFaceName, face.c_str(), face.size() + 1);
    made.font = CreateFontIndirectA(&lf);
    made.old_font = SelectObject(hdc, made.font);
    made.font_selected = true;
    TEXTMETRICA tm{};
    GetTextMetricsA(hdc, &tm);

    // D. the symbol and its width
    const std::vector<Long> row = EncodeCode128(props.Text, props.CheckChar);
    const Long m = props.ModuleWidth;
    Long W = props.Orientation == 0 ? checked::mul<Long>(m, code128_modules(row)) : 0;

    // E. layout
    const Long L = props.Left, T = props.Top, g = props.CaptionGap, IL = tm.tmInternalLeading;
    const Long H = props.BarHeight;
    const bool caption = !props.Caption.empty();
    const std::string cap = to_code_page(props.Caption);
    SIZE extent{0, 0};
    RECT back{L, T, L + W, 0};
    bool measured = true;
    if (caption) measured = GetTextExtentPoint32A(hdc, cap.c_str(), static_cast<int>(cap.size()), &extent) != 0;
    const Long cx = extent.cx, cy = extent.cy;
    if (!caption) {
        back.bottom = T + (props.Orientation == 0 ? H : 0) + 1;
    } else if (measured) {
        back.right = cx > W ? L + cx + 2 * IL : L + W;
        back.bottom = props.TextDisplay == 1 ? T + H + g + 2 + tm.tmHeight : T + H + g + 2 + cy;
    }
    const Long x0 = cx > W ? L + static_cast<Long>(round_half_even((cx + 2 * IL - W) / 2.0)) : L;
    const Long y0 = (caption && props.TextDisplay == 2) ? T + cy + g + 1 : T;
    RECT cap_rect{};
    if (caption) {
        if (props.TextDisplay == 2)
            cap_rect = {L, T, cx > W ? L + cx + IL : L + W, T + cy + g};
        else
            cap_rect = {L, y0 + H + g, cx > W ? L + cx + 2 * IL : L + W, y0 + H + g + cy};
    }

    // F. painting: background, then the bar tools
    made.back_brush = CreateSolidBrush(static_cast<COLORREF>(props.BackColor));
    SelectObject(hdc, made.back_brush);
    SelectObject(hdc, GetStockObject(NULL_PEN));
    Rectangle(hdc, back.left, back.top, back.right + 2, back.bottom);
    SelectObject(hdc, GetStockObject(BLACK_PEN));
    SelectObject(hdc, GetStockObject(WHITE_BRUSH));
    DeleteObject(made.back_brush);
    made.back_brush = 0;
    made.bar_brush = CreateSolidBrush(static_cast<COLORREF>(props.ForeColor));
    made.bar_pen = CreatePen(PS_SOLID, 1, static_cast<COLORREF>(props.ForeColor));
    SelectObject(hdc, made.bar_brush);
    SelectObject(hdc, made.bar_pen);
    SetTextColor(hdc, static_cast<COLORREF>(props.CaptionColor));
    SetBkMode(hdc, TRANSPARENT);

    if (props.Orientation == 0) {
        // bars: each bar element is a filled rectangle w x m pixels wide; spaces are left as they are
        Long x = x0;
        for (Long v : row) {
            bool bar = true;
            for (const char* p = kCode128Patterns[v]; *p; ++p, bar = !bar) {
                Long w = checked::mul<Long>(*p - '0', m);
                if (bar) Rectangle(hdc, x, y0, x + w, y0 + H);
                x += w;
            }
        }
        // G. the caption
        if (caption) {
            SetTextColor(hdc, static_cast<COLORREF>(props.CaptionColor));
            if (props.Align <= 3) {
                uint32_t flags = props.Align == 3 ? (DT_RIGHT | DT_CENTER) : DT_CENTER;
                DrawTextA(hdc, cap.c_str(), static_cast<int>(cap.size()), &cap_rect, flags);
            } else {
                // JUSTIFY: the encoded text, spread over the caption rectangle
                const std::string text = to_code_page(props.Text);
                Integer per = round_to<Integer>(static_cast<double>(cap_rect.right - cap_rect.left) /
                                                static_cast<double>(props.Text.size()));
                GetTextMetricsA(hdc, &tm);
                Integer extra = checked::sub<Integer>(per, narrow<Integer>(tm.tmAveCharWidth));
                SetTextCharacterExtra(hdc, extra);
                RECT r = cap_rect;
                DrawTextA(hdc, text.c_str(), -1, &r, DT_CALCRECT | DT_CENTER);
                DrawTextA(hdc, text.c_str(), -1, &r, DT_CENTER);
            }
        }
    }

    // H. clean-up: `made` puts back and deletes what the engine made
    return 0;
}

}  // namespace t2::barcode
