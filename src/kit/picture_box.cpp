// The picture box over a memory device context and a 24-bit section.
#include "kit/picture_box.hpp"

#include <cmath>
#include <cstring>

#include "kit/picture.hpp"

namespace kit {

using namespace gdi;

namespace {
int round_even(double v) { return static_cast<int>(std::nearbyint(v)); }  // the default rounding: ties to even
std::string to_cp1252(const std::string& utf8) {
    BSTR b = SysAllocStringUTF8(utf8.c_str());
    std::string out;
    for (UINT i = 0; i < SysStringLen(b); ++i) {
        char16_t c = b[i];
        out.push_back(c < 256 ? static_cast<char>(c) : '?');
    }
    SysFreeString(b);
    return out;
}
}  // namespace

PictureBox* PictureBox::make(int width, int height, bool border) { return new PictureBox(width, height, border); }

PictureBox::PictureBox(int width, int height, bool border) : border_(border ? 2 : 0) {
    dc_ = CreateCompatibleDC(0);
    resize(std::max(width, 0), std::max(height, 0));
    apply_font();
    SetBkMode(dc_, TRANSPARENT);

    auto number = [](double v) { return single_value(static_cast<float>(v)); };
    add("Width", Get | Put, [this, number](int kind, Args& a) {
        if (kind == Put) set_outer_twips(a.to_double(0), true);
        return number((inner_w_ + 2 * border_) * 15.0);
    });
    add("Height", Get | Put, [this, number](int kind, Args& a) {
        if (kind == Put) set_outer_twips(a.to_double(0), false);
        return number((inner_h_ + 2 * border_) * 15.0);
    });
    add("ScaleWidth", Get, [this, number](int, Args&) { return number(from_pixels(inner_w_)); });
    add("ScaleHeight", Get, [this, number](int, Args&) { return number(from_pixels(inner_h_)); });
    add("ScaleLeft", Get | Put, [this, number](int kind, Args& a) {
        if (kind == Put) scale_left_ = a.to_double(0);
        return number(scale_left_);
    });
    add("ScaleTop", Get | Put, [this, number](int kind, Args& a) {
        if (kind == Put) scale_top_ = a.to_double(0);
        return number(scale_top_);
    });
    add("ScaleMode", Get | Put, [this](int kind, Args& a) {
        if (kind == Put) {
            long m = a.to_long(0);
            if (m != 1 && m != 3) throw HostError{380, "Invalid property value: ScaleMode 1 (twips) or 3 (pixels)"};
            scale_mode_ = static_cast<int>(m);
        }
        return Value(static_cast<short>(static_cast<SHORT>(scale_mode_)));
    });
    add("BorderStyle", Get | Put, [this](int kind, Args& a) {
        if (kind == Put) border_ = a.to_long(0) ? 2 : 0;
        return Value(static_cast<short>(border_ ? 1 : 0));
    });
    add("CurrentX", Get | Put, [this, number](int kind, Args& a) {
        if (kind == Put) current_x_ = a.to_double(0);
        return number(current_x_);
    });
    add("CurrentY", Get | Put, [this, number](int kind, Args& a) {
        if (kind == Put) current_y_ = a.to_double(0);
        return number(current_y_);
    });
    add("BackColor", Get | Put, [this](int kind, Args& a) {
        if (kind == Put) back_color_ = static_cast<uint32_t>(a.to_long(0)) & 0xFFFFFF;
        return Value(static_cast<int>(static_cast<LONG>(back_color_)));
    });
    add("ForeColor", Get | Put, [this](int kind, Args& a) {
        if (kind == Put) fore_color_ = static_cast<uint32_t>(a.to_long(0)) & 0xFFFFFF;
        return Value(static_cast<int>(static_cast<LONG>(fore_color_)));
    });
    add("FontSize", Get | Put, [this, number](int kind, Args& a) {
        if (kind == Put) {
            double s = a.to_double(0);
            if (!(s > 0 && s < 2048)) throw HostError{380, "Invalid property value: FontSize"};
            font_size_ = s;
            apply_font();
        }
        return number(font_size_);
    });
    add("FontName", Get | Put, [this](int kind, Args& a) {
        if (kind == Put) {
            font_name_ = a.to_text(0);
            apply_font();
        }
        return text_value(font_name_);
    });
    add("FontBold", Get | Put, [this](int kind, Args& a) {
        if (kind == Put) {
            bold_ = a.to_bool(0);
            apply_font();
        }
        return Value(static_cast<bool>(bold_));
    });
    add("FontItalic", Get | Put, [this](int kind, Args& a) {
        if (kind == Put) {
            italic_ = a.to_bool(0);
            apply_font();
        }
        return Value(static_cast<bool>(italic_));
    });
    add("FontTransparent", Get | Put, [this](int kind, Args& a) {
        if (kind == Put) font_transparent_ = a.to_bool(0);
        return Value(static_cast<bool>(font_transparent_));
    });
    add("AutoRedraw", Get | Put, [](int, Args&) { return Value(static_cast<bool>(true)); });
    add("hDc", Get, [this](int, Args&) { return Value(static_cast<int>(dc_)); });
    add("hWnd", Get, [](int, Args&) { return Value(static_cast<int>(0)); });
    add("Image", Get, [this](int, Args&) {
        // a copy of what is drawn, as a picture of its own
        HGDI copy = CreateCompatibleBitmap(dc_, inner_w_, inner_h_);
        HGDI tmp = CreateCompatibleDC(0);
        HGDI prev = SelectObject(tmp, copy);
        BitBlt(tmp, 0, 0, inner_w_, inner_h_, dc_, 0, 0, SRCCOPY);
        SelectObject(tmp, prev);
        DeleteDC(tmp);
        Picture* p = Picture::make(copy, Picture::Bitmap, true);
        Value v = Value(static_cast<IDispatch*>(p));
        p->Release();
        return v;
    });
    add("Picture", Get | Put, [this](int kind, Args& a) {
        if (kind == Put) {
            IDispatch* p = a.to_object(0);
            if (p) p->AddRef();
            if (picture_) picture_->Release();
            picture_ = p;
            clear();
        }
        return Value(static_cast<IDispatch*>(picture_));
    });
    add("Cls", Call, [this](int, Args&) {
        clear();
        return Value();
    });
    add("Refresh", Call, [](int, Args&) { return Value(); });
    add("Line", Call, [this](int, Args& a) {
        long flags = a.to_long(0);
        uint32_t color = a.has(5) ? static_cast<uint32_t>(a.to_long(5)) : fore_color_;
        line(flags, a.to_double(1), a.to_double(2), a.to_double(3), a.to_double(4), color);
        return Value();
    });
    add("PSet", Call, [this](int, Args& a) {
        uint32_t color = a.has(3) ? static_cast<uint32_t>(a.to_long(3)) : fore_color_;
        SetPixel(dc_, round_even(to_pixels(a.to_double(1) - scale_left_)),
                 round_even(to_pixels(a.to_double(2) - scale_top_)), color);
        return Value();
    });
    add("Print", Call, [this](int, Args& a) {
        std::string text;
        for (size_t i = 0; i < a.size(); ++i)
            if (a.has(i)) text += a.to_text(i);
        print(text);
        return Value();
    });
    add("TextWidth", Call, [this, number](int, Args& a) { return number(from_pixels(measure(a.to_text(0)).cx)); });
    add("TextHeight", Call, [this, number](int, Args& a) { return number(from_pixels(measure(a.to_text(0)).cy)); });
}

PictureBox::~PictureBox() {
    if (picture_) picture_->Release();
    SelectObject(dc_, previous_);
    SelectObject(dc_, previous_font_);
    DeleteObject(bitmap_);
    DeleteObject(font_);
    DeleteDC(dc_);
}

void PictureBox::resize(int w, int h) {
    BITMAPINFO bi{};
    bi.bmiHeader = {40, std::max(w, 1), std::max(h, 1), 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    int32_t bits = 0;
    HGDI bm = CreateDIBSection(0, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bm) throw HostError{7, "Out of memory: no picture box of that size"};
    HGDI tmp = CreateCompatibleDC(0);
    HGDI prev = SelectObject(tmp, bm);
    HGDI brush = CreateSolidBrush(back_color_);
    RECT all{0, 0, std::max(w, 1), std::max(h, 1)};
    FillRect(tmp, &all, brush);
    DeleteObject(brush);
    if (bitmap_)
        BitBlt(tmp, 0, 0, std::min(w, inner_w_), std::min(h, inner_h_), dc_, 0, 0, SRCCOPY);  // keep what is drawn
    SelectObject(tmp, prev);
    DeleteDC(tmp);
    HGDI old = SelectObject(dc_, bm);
    if (bitmap_)
        DeleteObject(bitmap_);
    else
        previous_ = old;
    bitmap_ = bm;
    inner_w_ = w;
    inner_h_ = h;
}

void PictureBox::set_outer_twips(double twips, bool width) {
    if (!(twips >= 0 && twips < 15.0 * 65536)) throw HostError{380, "Invalid property value: size"};
    int outer = round_even(twips / 15.0);
    int inner = std::max(0, outer - 2 * border_);
    if (width)
        resize(inner, inner_h_);
    else
        resize(inner_w_, inner);
}

void PictureBox::apply_font() {
    LOGFONTA lf{};
    lf.lfHeight = -round_even(font_size_ * 96.0 / 72.0);
    lf.lfWeight = bold_ ? 700 : 400;
    lf.lfItalic = italic_ ? 1 : 0;
    std::strncpy(lf.lfFaceName, to_cp1252(font_name_).c_str(), sizeof lf.lfFaceName - 1);
    HGDI f = CreateFontIndirectA(&lf);
    HGDI old = SelectObject(dc_, f);
    if (font_)
        DeleteObject(font_);
    else
        previous_font_ = old;
    font_ = f;
}

void PictureBox::clear() {
    HGDI brush = CreateSolidBrush(back_color_);
    RECT all{0, 0, inner_w_, inner_h_};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
    if (picture_) {
        VARIANT h;
        VariantInit(&h);
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        if (SUCCEEDED(picture_->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &h, nullptr, nullptr))) {
            VARIANT l;
            VariantInit(&l);
            if (SUCCEEDED(VariantChangeType(&l, &h, 0, VT_I4)) && GetObjectType(l.lVal) == 7) {
                HGDI tmp = CreateCompatibleDC(0);
                HGDI prev = SelectObject(tmp, l.lVal);
                BitBlt(dc_, 0, 0, inner_w_, inner_h_, tmp, 0, 0, SRCCOPY);
                SelectObject(tmp, prev);
                DeleteDC(tmp);
            }
        }
        VariantClear(&h);
    }
    current_x_ = scale_left_;
    current_y_ = scale_top_;
}

// flags: 1 first point relative, 2 box, 4 filled box, 8 second point relative, 32 colour given
void PictureBox::line(long flags, double x1, double y1, double x2, double y2, uint32_t color) {
    if (flags & 1) {
        x1 += current_x_;
        y1 += current_y_;
    }
    if (flags & 8) {
        x2 += x1;
        y2 += y1;
    }
    current_x_ = x2;
    current_y_ = y2;
    int px1 = round_even(to_pixels(x1 - scale_left_)), py1 = round_even(to_pixels(y1 - scale_top_));
    int px2 = round_even(to_pixels(x2 - scale_left_)), py2 = round_even(to_pixels(y2 - scale_top_));
    if (flags & 2) {
        int l = std::min(px1, px2), r = std::max(px1, px2), t = std::min(py1, py2), b = std::max(py1, py2);
        HGDI brush = CreateSolidBrush(color);
        if (flags & 4) {
            RECT box{l, t, r + 1, b + 1};  // both corners belong to the box
            FillRect(dc_, &box, brush);
        } else {
            RECT edges[4] = {{l, t, r + 1, t + 1}, {l, b, r + 1, b + 1}, {l, t, l + 1, b + 1}, {r, t, r + 1, b + 1}};
            for (const RECT& e : edges) FillRect(dc_, &e, brush);
        }
        DeleteObject(brush);
        return;
    }
    // a straight line, its last point left out
    int dx = std::abs(px2 - px1), dy = -std::abs(py2 - py1), sx = px1 < px2 ? 1 : -1, sy = py1 < py2 ? 1 : -1;
    int err = dx + dy, x = px1, y = py1;
    while (x != px2 || y != py2) {
        SetPixel(dc_, x, y, color);
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

SIZE PictureBox::measure(const std::string& text) {
    std::string s = to_cp1252(text);
    SIZE total{0, 0};
    size_t start = 0;
    TEXTMETRICA tm{};
    GetTextMetricsA(dc_, &tm);
    int lines = 0;
    while (true) {
        size_t end = s.find('\n', start);
        std::string part = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!part.empty() && part.back() == '\r') part.pop_back();
        SIZE sz{0, 0};
        GetTextExtentPoint32A(dc_, part.c_str(), static_cast<int>(part.size()), &sz);
        total.cx = std::max(total.cx, sz.cx);
        ++lines;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    total.cy = lines * tm.tmHeight;
    return total;
}

void PictureBox::print(const std::string& text) {
    std::string s = to_cp1252(text);
    SetTextColor(dc_, fore_color_);
    SetBkColor(dc_, back_color_);
    SetBkMode(dc_, font_transparent_ ? TRANSPARENT : OPAQUE);
    TextOutA(dc_, round_even(to_pixels(current_x_ - scale_left_)), round_even(to_pixels(current_y_ - scale_top_)),
             s.c_str(), static_cast<int>(s.size()));
    // the next print starts on the next line at the left
    current_x_ = scale_left_;
    current_y_ += from_pixels(measure(text).cy);
}

}  // namespace kit
