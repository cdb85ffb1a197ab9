// Font resolution with fontconfig and monochrome rendering with FreeType.
#include "platform/gdi/font.hpp"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "base/codepage.hpp"
#include "base/strings.hpp"

namespace t2::gdi {

namespace {

struct Glyph {
    bool loaded = false;
    int advance = 0, left = 0, top = 0, width = 0, rows = 0, pitch = 0;
    std::vector<uint8_t> bits;  // one bit per pixel, rows of `pitch` bytes
};

void fill_clipped(BitmapObj* bm, int32_t x0, int32_t y0, int32_t x1, int32_t y1, COLORREF c, const RECT& clip) {
    fill_rect(bm, std::max(x0, clip.left), std::max(y0, clip.top), std::min(x1, clip.right), std::min(y1, clip.bottom),
              c);
}

class SyntheticFace final : public FontFace {
public:
    SyntheticFace(int height, int leading, int ave, int adv, std::string name) : adv_(adv), name_(std::move(name)) {
        tm_.tmHeight = height;
        tm_.tmAscent = height - height / 5;
        tm_.tmDescent = height - tm_.tmAscent;
        tm_.tmInternalLeading = leading;
        tm_.tmAveCharWidth = ave;
        tm_.tmMaxCharWidth = adv;
        tm_.tmWeight = 400;
        tm_.tmDigitizedAspectX = tm_.tmDigitizedAspectY = 96;
        tm_.tmFirstChar = 32;
        tm_.tmLastChar = 255;
        tm_.tmDefaultChar = 31;
        tm_.tmBreakChar = 32;
    }
    int advance(uint8_t) override { return adv_; }
    void draw(BitmapObj* bm, int32_t x, int32_t y, uint8_t ch, COLORREF c, const RECT& clip) override {
        if (ch == ' ') return;
        fill_clipped(bm, x + 1, y + tm_.tmInternalLeading, x + adv_ - 1, y + tm_.tmAscent, c, clip);
    }
    std::string file() const override { return "synthetic:" + name_; }

private:
    int adv_;
    std::string name_;
};

class FreeTypeFace final : public FontFace {
public:
    FreeTypeFace(FT_Face face, std::string path, int em, bool bold, bool italic, const LOGFONTA& lf)
        : face_(face), path_(std::move(path)), bold_(bold), italic_(italic) {
        FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(em));
        const double upem = face_->units_per_EM ? face_->units_per_EM : 2048;
        const double scale = em / upem;
        auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
        double asc = os2 ? os2->usWinAscent : face_->ascender;
        double desc = os2 ? os2->usWinDescent : -face_->descender;
        double avg = (os2 && os2->xAvgCharWidth) ? os2->xAvgCharWidth : face_->max_advance_width / 2.0;
        tm_.tmAscent = static_cast<int32_t>(std::floor(asc * scale + 0.5));
        tm_.tmDescent = static_cast<int32_t>(std::floor(desc * scale + 0.5));
        tm_.tmHeight = tm_.tmAscent + tm_.tmDescent;
        tm_.tmInternalLeading = std::max(0, tm_.tmHeight - em);
        double line_gap = os2 ? std::max(0.0, double(os2->sTypoLineGap)) : 0.0;
        tm_.tmExternalLeading = static_cast<int32_t>(std::floor(line_gap * scale + 0.5));
        tm_.tmAveCharWidth = static_cast<int32_t>(std::floor(avg * scale + 0.5));
        tm_.tmMaxCharWidth = static_cast<int32_t>(std::floor(face_->max_advance_width * scale + 0.5));
        tm_.tmWeight = lf.lfWeight ? lf.lfWeight : 400;
        tm_.tmDigitizedAspectX = tm_.tmDigitizedAspectY = 96;
        tm_.tmFirstChar = 32;
        tm_.tmLastChar = 255;
        tm_.tmDefaultChar = 31;
        tm_.tmBreakChar = 32;
        tm_.tmItalic = lf.lfItalic ? 255 : 0;
        tm_.tmUnderlined = lf.lfUnderline ? 1 : 0;
        tm_.tmStruckOut = lf.lfStrikeOut ? 1 : 0;
        // bit 0 set means variable pitch, as the platform reports it
        tm_.tmPitchAndFamily = static_cast<uint8_t>((FT_IS_FIXED_WIDTH(face_) ? 0 : 1) | 0x06);
        underline_offset = std::max(1, static_cast<int>(std::lround(-face_->underline_position * scale)));
        underline_thickness = std::max(1, static_cast<int>(std::lround(face_->underline_thickness * scale)));
        strike_offset = std::max(1, static_cast<int>(std::lround(em * 0.3)));
    }
    ~FreeTypeFace() override { FT_Done_Face(face_); }
    int advance(uint8_t ch) override { return glyph(ch).advance; }
    void draw(BitmapObj* bm, int32_t x, int32_t y, uint8_t ch, COLORREF c, const RECT& clip) override {
        const Glyph& g = glyph(ch);
        int32_t gx = x + g.left, gy = y + tm_.tmAscent - g.top;
        for (int r = 0; r < g.rows; ++r) {
            int32_t py = gy + r;
            if (py < clip.top || py >= clip.bottom) continue;
            const uint8_t* row = &g.bits[static_cast<size_t>(r) * g.pitch];
            for (int k = 0; k < g.width; ++k) {
                int32_t px = gx + k;
                if (px < clip.left || px >= clip.right) continue;
                if (row[k >> 3] & (0x80 >> (k & 7))) put_pixel(bm, px, py, c);
            }
        }
    }
    std::string file() const override { return path_; }

private:
    const Glyph& glyph(uint8_t ch) {
        Glyph& g = glyphs_[ch];
        if (g.loaded) return g;
        g.loaded = true;
        FT_UInt index = FT_Get_Char_Index(face_, from_cp1252(ch));
        if (FT_Load_Glyph(face_, index, FT_LOAD_TARGET_MONO) != 0) return g;
        FT_GlyphSlot slot = face_->glyph;
        if (bold_) FT_GlyphSlot_Embolden(slot);
        if (italic_) FT_GlyphSlot_Oblique(slot);
        g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return g;
        const FT_Bitmap& b = slot->bitmap;
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = static_cast<int>(b.width);
        g.rows = static_cast<int>(b.rows);
        g.pitch = (g.width + 7) / 8;
        g.bits.assign(static_cast<size_t>(g.pitch) * g.rows, 0);
        for (int r = 0; r < g.rows; ++r) {
            const uint8_t* src = b.buffer + static_cast<ptrdiff_t>(r) * b.pitch;
            if (b.pixel_mode == FT_PIXEL_MODE_MONO) {
                std::memcpy(&g.bits[static_cast<size_t>(r) * g.pitch], src, static_cast<size_t>(g.pitch));
            } else {  // a grey bitmap (embedded strikes): threshold at half
                for (int k = 0; k < g.width; ++k)
                    if (src[k] >= 128)
                        g.bits[static_cast<size_t>(r) * g.pitch + (k >> 3)] |= static_cast<uint8_t>(0x80 >> (k & 7));
            }
        }
        return g;
    }
    FT_Face face_;
    std::string path_;
    bool bold_, italic_;
    Glyph glyphs_[256];
};

FT_Library library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) l = nullptr;
        return l;
    }();
    return lib;
}

struct SyntheticSpec {
    int height, leading, ave, advance;
};
std::map<std::string, SyntheticSpec>& synthetic_fonts() {
    static std::map<std::string, SyntheticSpec> m;
    return m;
}

std::map<std::string, std::shared_ptr<FontFace>>& face_cache() {
    static std::map<std::string, std::shared_ptr<FontFace>> kept;
    return kept;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

void register_synthetic_font(const char* name, int height, int internal_leading, int ave_char_width, int advance) {
    Lock lock(table().lock);
    synthetic_fonts()[lower(name)] = {height, internal_leading, ave_char_width, advance};
    face_cache().clear();  // a face of that name may have been matched before
}

LOGFONTA default_logfont(bool fixed) {
    LOGFONTA lf{};
    lf.lfHeight = -16;
    lf.lfWeight = fixed ? 400 : 700;
    lf.lfPitchAndFamily = fixed ? 1 : 2;
    std::strcpy(lf.lfFaceName, fixed ? "Courier New" : "Arial");
    return lf;
}

namespace {
std::shared_ptr<FontFace> resolve_uncached(const LOGFONTA& lf);
}  // namespace

// Faces are kept by what chooses them (name, size, weight, italic), so a font made again
// and again (a drawing call per symbol) is matched and loaded once.
std::shared_ptr<FontFace> resolve_face(const LOGFONTA& lf) {
    std::string key(lf.lfFaceName, strnlen(lf.lfFaceName, sizeof lf.lfFaceName));
    key = lower(key) + "/" + std::to_string(lf.lfHeight) + "/" + std::to_string(lf.lfWeight) + "/" +
          std::to_string(lf.lfItalic ? 1 : 0);
    auto& kept = face_cache();
    if (auto it = kept.find(key); it != kept.end()) return it->second;
    auto face = resolve_uncached(lf);
    if (kept.size() >= 64) kept.clear();  // a bound: hosts that make many sizes start over
    kept.emplace(key, face);
    return face;
}

namespace {
std::shared_ptr<FontFace> resolve_uncached(const LOGFONTA& lf) {
    std::string face_name(lf.lfFaceName, strnlen(lf.lfFaceName, sizeof lf.lfFaceName));
    int em = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
    if (em == 0) em = 16;
    if (auto it = synthetic_fonts().find(lower(face_name)); it != synthetic_fonts().end()) {
        const SyntheticSpec& s = it->second;
        return std::make_shared<SyntheticFace>(s.height, s.leading, s.ave, s.advance, face_name);
    }
    auto fallback = [&] {
        return std::make_shared<SyntheticFace>(em + em / 6, em / 6, em / 2, em / 2 + 1, "fallback");
    };
    FT_Library lib = library();
    if (!lib || !FcInit()) return fallback();

    // Face names are code page text; fontconfig wants UTF-8.
    std::string utf8;
    for (char c : face_name) {
        auto b = static_cast<uint8_t>(c);
        if (b < 0x80)
            utf8.push_back(c);
        else
            utf8 += to_utf8(std::u16string(1, from_cp1252(b)));
    }
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(utf8.empty() ? "sans-serif" : utf8.c_str()));
    int weight = lf.lfWeight ? lf.lfWeight : 400;
    FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pat, FC_SLANT, lf.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pat, &result);
    FcPatternDestroy(pat);
    if (!match) return fallback();
    FcChar8* file = nullptr;
    int index = 0, got_weight = FC_WEIGHT_REGULAR, got_slant = FC_SLANT_ROMAN;
    FcPatternGetString(match, FC_FILE, 0, &file);
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    FcPatternGetInteger(match, FC_WEIGHT, 0, &got_weight);
    FcPatternGetInteger(match, FC_SLANT, 0, &got_slant);
    std::string path = file ? reinterpret_cast<const char*>(file) : "";
    FcPatternDestroy(match);
    FT_Face face = nullptr;
    if (path.empty() || FT_New_Face(lib, path.c_str(), index, &face) != 0) return fallback();
    bool bold = weight >= 600 && got_weight < FC_WEIGHT_DEMIBOLD;
    bool italic = lf.lfItalic && got_slant == FC_SLANT_ROMAN;
    return std::make_shared<FreeTypeFace>(face, path, em, bold, italic, lf);
}
}  // namespace

}  // namespace t2::gdi
