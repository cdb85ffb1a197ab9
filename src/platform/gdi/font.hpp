// Fonts of the graphics layer: a face per LOGFONTA, resolved by fontconfig and
// rendered by FreeType (one bit per pixel: text is bitmap-exact), or a
// synthetic face with set metrics whose glyphs are solid boxes.
#pragma once

#include <memory>
#include <string>

#include "platform/gdi/internal.hpp"

namespace t2::gdi {

class FontFace {
public:
    virtual ~FontFace() = default;
    const TEXTMETRICA& metrics() const { return tm_; }
    // Advance of a character of the 8-bit code page, in pixels.
    virtual int advance(uint8_t ch) = 0;
    // Draws a character with the top of its cell at y and its origin at x; clip is inclusive-exclusive.
    virtual void draw(BitmapObj* bm, int32_t x, int32_t y, uint8_t ch, COLORREF color, const RECT& clip) = 0;
    virtual std::string file() const = 0;
    int underline_offset = 1, underline_thickness = 1, strike_offset = 4;  // below / above the baseline

protected:
    TEXTMETRICA tm_{};
};

LOGFONTA default_logfont(bool fixed);
// The face for a font description (never null: a synthetic face when nothing matches).
std::shared_ptr<FontFace> resolve_face(const LOGFONTA& lf);

// A face with set metrics: every character advances `advance` pixels and draws
// a box of its cell (spaces draw nothing).  Registered by name for tests.
T2_GDI_API void register_synthetic_font(const char* name, int height, int internal_leading, int ave_char_width,
                                        int advance);

}  // namespace t2::gdi
