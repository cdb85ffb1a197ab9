// The handle table, device contexts, bitmaps, brushes, pens and selection.
#include <sys/mman.h>

#include <cstring>

#include "platform/gdi/font.hpp"
#include "platform/gdi/internal.hpp"

namespace t2::gdi {

namespace {

constexpr int32_t kScreenWidth = 1024, kScreenHeight = 768;  // the virtual display

// Pixel memory whose address fits the 32-bit value the interface publishes:
// below 2 GiB through MAP_32BIT where the machine has it.  Memory that lands
// elsewhere is published as 0: a stand-in value would let one section's
// address lead into another's pixels.
bool low_window = true;  // false: as if the 32-bit window were full (for tests)

uint8_t* alloc_pixels(size_t bytes, bool& mapped) {
#ifdef MAP_32BIT
    void* p = low_window ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0)
                         : MAP_FAILED;
    if (p != MAP_FAILED) {
        mapped = true;
        return static_cast<uint8_t*>(p);
    }
#endif
    void* q = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (q == MAP_FAILED) return nullptr;
    mapped = true;
    return static_cast<uint8_t*>(q);
}

HGDI insert_into(Table& t, Object&& o) {
    HGDI h = t.next++;
    if (t.next <= 0) t.next = 0x100;
    while (t.objects.count(h)) h = t.next++;
    t.objects.emplace(h, std::move(o));
    return h;
}

HGDI make_bitmap_in(Table& t, int32_t w, int32_t h, int bpp, bool top_down, const RGBQUAD* colors, int ncolors) {
    if (w <= 0 || h <= 0 || (bpp != 24 && bpp != 8)) return 0;
    int64_t stride = ((static_cast<int64_t>(w) * bpp + 31) / 32) * 4;
    int64_t bytes = stride * h;
    if (bytes > 0x7FFFFFFF) return 0;
    auto bm = std::make_unique<BitmapObj>();
    bm->width = w;
    bm->height = h;
    bm->bpp = bpp;
    bm->format = &pixel_format(bpp);
    bm->top_down = top_down;
    bm->stride = static_cast<int32_t>(stride);
    bm->bytes = static_cast<size_t>(bytes);
    bm->bits = alloc_pixels(bm->bytes, bm->mapped);
    if (!bm->bits) return 0;
    auto addr = reinterpret_cast<uintptr_t>(bm->bits);
    if (addr + bm->bytes <= 0x7FFFFFFFu) bm->bits32 = static_cast<int32_t>(addr);
    if (bpp == 8) {
        bm->ncolors = ncolors;
        if (colors) std::memcpy(bm->colors.data(), colors, sizeof(RGBQUAD) * static_cast<size_t>(ncolors));
    }
    const int32_t published = bm->bits32;
    Object o(Kind::Bitmap);
    o.bitmap = std::move(bm);
    HGDI handle = insert_into(t, std::move(o));
    if (published) t.by_address[published] = handle;
    return handle;
}

HGDI make_bitmap(int32_t w, int32_t h, int bpp, bool top_down, const RGBQUAD* colors, int ncolors) {
    return make_bitmap_in(table(), w, h, bpp, top_down, colors, ncolors);
}

void add_stock(Table& t, int index, Object&& o) {
    o.stock = true;
    HGDI h = t.next++;
    t.objects.emplace(h, std::move(o));
    t.stock[index] = h;
    ++t.stock_count;
}

Object stock_brush(COLORREF c, bool hollow = false) {
    Object o(Kind::Brush);
    o.brush = std::make_unique<BrushObj>(BrushObj{c, hollow, 0});
    return o;
}
Object stock_pen(COLORREF c, int style = PS_SOLID) {
    Object o(Kind::Pen);
    o.pen = std::make_unique<PenObj>(PenObj{style, 1, c, 0});
    return o;
}

}  // namespace

BitmapObj::~BitmapObj() {
    if (bits && mapped) munmap(bits, bytes);
}

Table& table() {
    static Table* t = [] {
        auto* tab = new Table();
        add_stock(*tab, WHITE_BRUSH, stock_brush(0xFFFFFF));
        add_stock(*tab, LTGRAY_BRUSH, stock_brush(0xC0C0C0));
        add_stock(*tab, GRAY_BRUSH, stock_brush(0x808080));
        add_stock(*tab, DKGRAY_BRUSH, stock_brush(0x404040));
        add_stock(*tab, BLACK_BRUSH, stock_brush(0));
        add_stock(*tab, NULL_BRUSH, stock_brush(0, true));
        add_stock(*tab, WHITE_PEN, stock_pen(0xFFFFFF));
        add_stock(*tab, BLACK_PEN, stock_pen(0));
        add_stock(*tab, NULL_PEN, stock_pen(0, PS_NULL));
        for (int f : {OEM_FIXED_FONT, ANSI_FIXED_FONT, ANSI_VAR_FONT, SYSTEM_FONT, 14, 16, DEFAULT_GUI_FONT}) {
            Object o(Kind::Font);
            o.font = std::make_unique<FontObj>();
            o.font->lf = default_logfont(f == ANSI_FIXED_FONT || f == OEM_FIXED_FONT || f == 16);
            add_stock(*tab, f, std::move(o));
        }
        // the display's surface (white) and the 1x1 bitmap a new memory context holds
        HGDI screen = make_bitmap_in(*tab, kScreenWidth, kScreenHeight, 24, false, nullptr, 0);
        HGDI one = make_bitmap_in(*tab, 1, 1, 24, false, nullptr, 0);
        for (HGDI h : {screen, one}) {
            tab->objects.at(h).stock = true;
            ++tab->stock_count;
        }
        std::memset(tab->objects.at(screen).bitmap->bits, 0xFF, tab->objects.at(screen).bitmap->bytes);
        tab->screen = screen;
        tab->stock_bitmap = one;
        return tab;
    }();
    return *t;
}

std::vector<std::string>*& call_trace() {
    static std::vector<std::string>* log = nullptr;
    return log;
}
void trace(const std::string& line) {
    if (call_trace()) call_trace()->push_back(line);
}
void trace_calls(std::vector<std::string>* log) {
    Lock lock(table().lock);
    call_trace() = log;
}

Object* find(HGDI h) {
    auto& t = table();
    auto it = t.objects.find(h);
    return it == t.objects.end() ? nullptr : &it->second;
}
BitmapObj* find_bitmap(HGDI h) {
    Object* o = find(h);
    return o && o->kind == Kind::Bitmap ? o->bitmap.get() : nullptr;
}
DCObj* find_dc(HGDI h) {
    Object* o = find(h);
    return o && (o->kind == Kind::DC || o->kind == Kind::MemDC) ? o->dc.get() : nullptr;
}
HGDI insert(Object&& o) { return insert_into(table(), std::move(o)); }
BitmapObj* dc_bitmap(DCObj* dc) { return dc ? find_bitmap(dc->display ? table().screen : dc->bitmap) : nullptr; }

namespace {
int* selected_count(Object* o) {
    switch (o->kind) {
        case Kind::Bitmap: return &o->bitmap->selected;
        case Kind::Brush: return &o->brush->selected;
        case Kind::Pen: return &o->pen->selected;
        case Kind::Font: return &o->font->selected;
        default: return nullptr;
    }
}
void deselect(HGDI h) {
    if (Object* o = find(h))
        if (int* n = selected_count(o); n && *n > 0) --*n;
}
HGDI new_dc(bool display) {
    auto& t = table();
    Object o(display ? Kind::DC : Kind::MemDC);
    o.dc = std::make_unique<DCObj>();
    o.dc->display = display;
    o.dc->bitmap = display ? t.screen : t.stock_bitmap;
    o.dc->brush = t.stock[WHITE_BRUSH];
    o.dc->pen = t.stock[BLACK_PEN];
    o.dc->font = t.stock[SYSTEM_FONT];
    for (HGDI h : {o.dc->bitmap, o.dc->brush, o.dc->pen, o.dc->font}) ++*selected_count(find(h));
    return insert(std::move(o));
}
}  // namespace

HGDI CreateCompatibleDC(HGDI hdc) {
    auto& t = table();
    Lock lock(t.lock);
    if (hdc && !find_dc(hdc)) return 0;
    return new_dc(false);
}

HGDI CreateDCA(const char* driver, const char*, const char*, const void*) {
    auto& t = table();
    Lock lock(t.lock);
    if (!driver) return 0;
    std::string d = driver;
    for (char& c : d) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (d != "DISPLAY") return 0;
    return new_dc(true);
}

int DeleteDC(HGDI hdc) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    if (!dc) return 0;
    for (HGDI h : {dc->bitmap, dc->brush, dc->pen, dc->font}) deselect(h);
    t.objects.erase(hdc);
    return 1;
}

HGDI SelectObject(HGDI hdc, HGDI obj) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    Object* o = find(obj);
    if (!dc || !o) return 0;
    HGDI* slot = nullptr;
    switch (o->kind) {
        case Kind::Bitmap:
            if (dc->display) return 0;  // the display keeps its own surface
            slot = &dc->bitmap;
            break;
        case Kind::Brush: slot = &dc->brush; break;
        case Kind::Pen: slot = &dc->pen; break;
        case Kind::Font: slot = &dc->font; break;
        default: return 0;
    }
    HGDI prev = *slot;
    if (prev == obj) return prev;
    // As on the platform, a bitmap is selected into one context at a time.
    if (o->kind == Kind::Bitmap && !o->stock && *selected_count(o) > 0) return 0;
    deselect(prev);
    ++*selected_count(o);
    *slot = obj;
    return prev;
}

int DeleteObject(HGDI obj) {
    auto& t = table();
    Lock lock(t.lock);
    Object* o = find(obj);
    if (!o || o->kind == Kind::DC || o->kind == Kind::MemDC) return 0;
    if (o->stock) return 1;  // stock objects are never deleted
    if (o->clipboard) return 0;
    int* n = selected_count(o);
    if (n && *n > 0) return 0;  // still selected into a device context
    if (o->kind == Kind::Bitmap && o->bitmap->bits32) t.by_address.erase(o->bitmap->bits32);
    t.objects.erase(obj);
    return 1;
}

HGDI GetStockObject(int which) {
    auto& t = table();
    Lock lock(t.lock);
    if (which < 0 || which >= 18) return 0;
    return t.stock[which];
}

HGDI GetCurrentObject(HGDI hdc, int kind) {
    auto& t = table();
    Lock lock(t.lock);
    DCObj* dc = find_dc(hdc);
    if (!dc) return 0;
    switch (kind) {
        case 1: return dc->pen;
        case 2: return dc->brush;
        case 6: return dc->font;
        case 7: return dc->display ? t.screen : dc->bitmap;
        default: return 0;
    }
}

int GetObjectType(HGDI obj) {
    auto& t = table();
    Lock lock(t.lock);
    Object* o = find(obj);
    return o ? static_cast<int>(o->kind) : 0;
}

int GetObjectA(HGDI obj, int size, void* buffer) {
    auto& t = table();
    Lock lock(t.lock);
    Object* o = find(obj);
    if (!o) return 0;
    if (o->kind == Kind::Bitmap) {
        if (!buffer) return static_cast<int>(sizeof(BITMAP));
        if (size < static_cast<int>(sizeof(BITMAP))) return 0;
        BitmapObj* b = o->bitmap.get();
        BITMAP bm{0, b->width, b->height, b->stride, 1, static_cast<uint16_t>(b->bpp), b->bits32};
        std::memcpy(buffer, &bm, sizeof bm);
        return static_cast<int>(sizeof bm);
    }
    if (o->kind == Kind::Font) {
        if (!buffer) return static_cast<int>(sizeof(LOGFONTA));
        int n = std::min(size, static_cast<int>(sizeof(LOGFONTA)));
        if (n <= 0) return 0;
        std::memcpy(buffer, &o->font->lf, static_cast<size_t>(n));
        return n;
    }
    return 0;
}

HGDI CreateDIBSection(HGDI hdc, const BITMAPINFO* bmi, uint32_t usage, int32_t* bits32, void*, uint32_t) {
    auto& t = table();
    Lock lock(t.lock);
    if (bits32) *bits32 = 0;
    if (!bmi || usage != DIB_RGB_COLORS) return 0;
    if (hdc && !find_dc(hdc)) return 0;
    const BITMAPINFOHEADER& h = bmi->bmiHeader;
    if (h.biSize < 40 || h.biPlanes != 1 || h.biCompression != BI_RGB || h.biHeight == INT32_MIN) return 0;
    int ncolors = 0;
    if (h.biBitCount == 8) ncolors = (h.biClrUsed == 0 || h.biClrUsed > 256) ? 256 : static_cast<int>(h.biClrUsed);
    HGDI bm = make_bitmap(h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight, h.biBitCount, h.biHeight < 0,
                          h.biBitCount == 8 ? bmi->bmiColors : nullptr, ncolors);
    if (bm && bits32) *bits32 = find_bitmap(bm)->bits32;
    return bm;
}

HGDI CreateCompatibleBitmap(HGDI hdc, int32_t width, int32_t height) {
    auto& t = table();
    Lock lock(t.lock);
    if (!find_dc(hdc) || width < 0 || height < 0) return 0;
    if (width == 0 || height == 0) width = height = 1;  // the platform hands back a 1x1 bitmap
    HGDI h = make_bitmap(width, height, 24, false, nullptr, 0);
    return h;
}

uint8_t* bitmap_bits(HGDI bitmap) {
    auto& t = table();
    Lock lock(t.lock);
    BitmapObj* b = find_bitmap(bitmap);
    return b ? b->bits : nullptr;
}

uint8_t* bitmap_bits(HGDI bitmap, size_t bytes) {
    auto& t = table();
    Lock lock(t.lock);
    BitmapObj* b = find_bitmap(bitmap);
    return b && bytes <= b->bytes ? b->bits : nullptr;
}

uint8_t* address_of(int32_t bits32, size_t bytes) {
    if (bits32 == 0) return nullptr;
    auto& t = table();
    Lock lock(t.lock);
    auto it = t.by_address.find(bits32);
    if (it == t.by_address.end()) return nullptr;
    BitmapObj* b = find_bitmap(it->second);
    return b && b->bits32 == bits32 && bytes <= b->bytes ? b->bits : nullptr;
}

void use_32bit_window(bool on) {
    Lock lock(table().lock);
    low_window = on;
}

bool addresses_fit_32_bits() {
#ifdef MAP_32BIT
    return true;
#else
    return false;
#endif
}

HGDI CreateSolidBrush(COLORREF color) {
    auto& t = table();
    Lock lock(t.lock);
    Object o(Kind::Brush);
    o.brush = std::make_unique<BrushObj>(BrushObj{color & 0xFFFFFF, false, 0});
    return insert(std::move(o));
}

HGDI CreatePen(int style, int width, COLORREF color) {
    auto& t = table();
    Lock lock(t.lock);
    Object o(Kind::Pen);
    o.pen = std::make_unique<PenObj>(PenObj{style, width < 1 ? 1 : width, color & 0xFFFFFF, 0});
    return insert(std::move(o));
}

size_t object_count() {
    auto& t = table();
    Lock lock(t.lock);
    return t.objects.size() - t.stock_count;
}

bool surface_of(HGDI h, Surface& out) {
    auto& t = table();
    Lock lock(t.lock);
    BitmapObj* b = find_bitmap(h);
    if (!b) b = dc_bitmap(find_dc(h));
    if (!b) return false;
    out.width = b->width;
    out.height = b->height;
    out.bpp = b->bpp;
    out.top = b->row(0);
    out.step = b->top_down ? b->stride : -static_cast<int64_t>(b->stride);
    out.colors = b->bpp == 8 ? b->colors.data() : nullptr;
    return true;
}

}  // namespace t2::gdi
