// Inside the graphics layer: the object table and the objects it holds.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "base/colormatch.hpp"
#include "platform/gdi/gdi.hpp"

namespace t2::gdi {

class FontFace;

enum class Kind : uint8_t { Pen = 1, Brush = 2, DC = 3, Font = 6, Bitmap = 7, MemDC = 10 };

// The matcher of a colour table, shared by the bitmaps that have that same table
// (a writer making one 8-bit bitmap after another with the fixed table finds
// its colours worked out already).  A few recent tables are kept.
std::shared_ptr<ColorMatcher> shared_matcher(const RGBQUAD* colors, int count);

struct BitmapObj;

// What differs between the two pixel formats, chosen once when a bitmap is
// made: 24-bit (blue, green, red) or 8-bit (an index of the colour table).
struct PixelFormat {
    int bytes;  // per pixel
    // The bytes of one pixel of colour c (an 8-bit surface takes the nearest index).
    void (*encode)(BitmapObj& bm, COLORREF c, uint8_t out[3]);
    COLORREF (*decode)(const BitmapObj& bm, const uint8_t* px);
    // A row of w pixels from blue-green-red bytes into this format, and back.
    void (*from_bgr)(BitmapObj& bm, const uint8_t* in, int32_t w, uint8_t* out);
    void (*to_bgr)(const BitmapObj& bm, const uint8_t* in, int32_t w, uint8_t* out);
};
const PixelFormat& pixel_format(int bpp);  // 24 or 8

// Indices of a colour table to blue-green-red bytes: the one 8-to-24-bit loop.
void indices_to_bgr(const RGBQUAD* colors, const uint8_t* in, int32_t w, uint8_t* out);

struct BitmapObj {
    int32_t width = 0, height = 0;  // height > 0
    int bpp = 24;                   // 24 or 8
    const PixelFormat* format = &pixel_format(24);
    bool top_down = false;
    int32_t stride = 0;
    uint8_t* bits = nullptr;
    size_t bytes = 0;
    bool mapped = false;  // mmap'd (else operator new)
    int32_t bits32 = 0;   // the published 32-bit address: the real one, or 0
    std::array<RGBQUAD, 256> colors{};
    int ncolors = 0;
    std::shared_ptr<ColorMatcher> matcher;  // nearest colours of `colors`, built on first use
    int selected = 0;                       // device contexts holding it
    ~BitmapObj();
    uint8_t* row(int32_t y) const {  // y from the top of the picture
        return bits + static_cast<int64_t>(top_down ? y : height - 1 - y) * stride;
    }
    ColorMatcher& match() {
        if (!matcher) matcher = shared_matcher(colors.data(), ncolors);
        return *matcher;
    }
};

struct BrushObj {
    COLORREF color = 0;
    bool hollow = false;
    int selected = 0;
};

struct PenObj {
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
    int selected = 0;
};

struct FontObj {
    LOGFONTA lf{};
    std::shared_ptr<FontFace> face;
    int selected = 0;
};

struct DCObj {
    bool display = false;
    HGDI bitmap = 0, brush = 0, pen = 0, font = 0;
    COLORREF text_color = 0, bk_color = 0xFFFFFF;
    int bk_mode = OPAQUE;
    int char_extra = 0;
};

struct Object {
    explicit Object(Kind k) : kind(k) {}
    Kind kind;
    bool stock = false;
    bool clipboard = false;             // owned by the clipboard
    std::shared_ptr<BitmapObj> bitmap;  // shared: a transfer holds its surfaces while it runs unlocked
    std::unique_ptr<BrushObj> brush;
    std::unique_ptr<PenObj> pen;
    std::unique_ptr<FontObj> font;
    std::unique_ptr<DCObj> dc;
};

// The process-wide table; every public function holds its lock for its whole run.
struct Table {
    std::recursive_mutex lock;
    std::unordered_map<HGDI, Object> objects;
    std::unordered_map<int32_t, HGDI> by_address;  // the bitmap whose memory starts at a published address
    HGDI next = 0x100;
    size_t stock_count = 0;
    HGDI stock[18] = {};
    HGDI screen = 0;  // the display's bitmap
    HGDI stock_bitmap = 0;
};
Table& table();  // builds the stock objects on first use
// The call trace of trace_calls(), or nullptr.
std::vector<std::string>*& call_trace();
void trace(const std::string& line);
using Lock = std::lock_guard<std::recursive_mutex>;

Object* find(HGDI h);
BitmapObj* find_bitmap(HGDI h);
DCObj* find_dc(HGDI h);
HGDI insert(Object&& o);

// The bitmap selected into a device context.
BitmapObj* dc_bitmap(DCObj* dc);

std::shared_ptr<FontFace> default_face();
FontFace* dc_face(DCObj* dc);

inline uint8_t red(COLORREF c) { return static_cast<uint8_t>(c); }
inline uint8_t green(COLORREF c) { return static_cast<uint8_t>(c >> 8); }
inline uint8_t blue(COLORREF c) { return static_cast<uint8_t>(c >> 16); }

// Puts one colour into a pixel of a surface (a colour index for 8-bit).
void put_pixel(BitmapObj* bm, int32_t x, int32_t y, COLORREF c);
// Fills [x0, x1) x [y0, y1) clipped to the bitmap with a colour.
void fill_rect(BitmapObj* bm, int32_t x0, int32_t y0, int32_t x1, int32_t y1, COLORREF c);

}  // namespace t2::gdi
