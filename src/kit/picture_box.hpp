// PictureBox: a drawing surface a caller owns, callable late-bound with the
// members drawing code asks of one: outer size in twips (15 per pixel),
// inner size in pixels (ScaleMode 3) or twips (1), Cls, Line with box and fill
// flags, Print, CurrentX/CurrentY, TextWidth/TextHeight, the font, Picture, hDc.
#pragma once

#include <string>

#include "kit/dispatch_object.hpp"
#include "kit/gdi.hpp"

namespace kit {

class PictureBox final : public DispatchObject {
public:
    // A box whose inner (drawing) area is width x height pixels; `border` adds 2 pixels a side.
    static PictureBox* make(int width, int height, bool border = false);
    gdi::HGDI hdc() const { return dc_; }
    gdi::HGDI bitmap() const { return bitmap_; }
    int inner_width() const { return inner_w_; }
    int inner_height() const { return inner_h_; }

private:
    PictureBox(int width, int height, bool border);
    ~PictureBox() override;
    void resize(int inner_w, int inner_h);
    void set_outer_twips(double twips, bool width);
    double to_pixels(double v) const { return scale_mode_ == 1 ? v / 15.0 : v; }
    double from_pixels(double px) const { return scale_mode_ == 1 ? px * 15.0 : px; }
    void apply_font();
    void clear();
    void line(long flags, double x1, double y1, double x2, double y2, uint32_t color);
    void print(const std::string& text);
    gdi::SIZE measure(const std::string& text);

    gdi::HGDI dc_ = 0, bitmap_ = 0, previous_ = 0, font_ = 0, previous_font_ = 0;
    int inner_w_ = 0, inner_h_ = 0;
    int border_ = 0;  // pixels a side
    int scale_mode_ = 3;
    double scale_left_ = 0, scale_top_ = 0;
    double current_x_ = 0, current_y_ = 0;
    uint32_t back_color_ = 0xFFFFFF, fore_color_ = 0;
    double font_size_ = 8.25;
    std::string font_name_ = "Arial";
    bool bold_ = false, italic_ = false, font_transparent_ = true;
    IDispatch* picture_ = nullptr;
};

}  // namespace kit
