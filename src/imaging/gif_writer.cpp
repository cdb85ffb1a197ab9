// GIF: saves a picture as a single-image GIF file with a 256-entry colour
// table, adaptive (octree, 236 colours) or fixed, optional transparency, and
// Progress events every ten rows while the host keeps its messages moving.
#include <algorithm>
#include <cerrno>
#include <memory>
#include <cstring>
#include <vector>

#include "frame/com.hpp"
#include "imaging/lzw.hpp"
#include "platform/errtext.hpp"
#include "platform/files.hpp"
#include "platform/gdi/gdi.hpp"
#include "platform/gdi/owners.hpp"
#include "platform/pump.hpp"
#include "imaging/file_name.hpp"

namespace t2 {
namespace {

using namespace t2::gdi;

// The adaptive palette: at most 236 colours from a tree six levels deep.
constexpr Long kBestColours = 236, kBestLevels = 6;
// Output goes to the file in pieces of this size.
constexpr size_t kFileBuffer = 1 << 16;

// The output file: buffered in front of a file that replaces the target only
// when complete; a failed write is remembered and ends the save.
class OutputFile {
public:
    OutputFile() { buffer_.reserve(kFileBuffer); }
    bool open(const std::string& name) { return file_.open(name); }
    uint32_t open_error() const { return file_.error(); }
    void write(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        buffer_.insert(buffer_.end(), b, b + n);
        if (buffer_.size() >= kFileBuffer) flush();
    }
    void flush() {
        if (!file_.failed() && !buffer_.empty()) file_.write(buffer_.data(), buffer_.size());
        buffer_.clear();
    }
    bool close() {
        flush();
        return file_.commit();
    }
    uint32_t error() const { return file_.error() ? file_.error() : 112; }

private:
    platform::ReplacingFile file_;  // removed unless committed, however the save ends
    std::vector<uint8_t> buffer_;
};

class GifWriter : public ImplOf<_GIF> {
public:
    T2_MEMBERS__GIF(T2_NATURAL_DECL)

private:
    T2_EVENTS__GIF(T2_EVENT_RAISER)
    bool m_bBestQuality = false;
    bool m_bBusy = false;
    DibRef m_cDib;
    Long m_lWidth = 0, m_lHeight = 0;
    BITMAPINFO m_tBitmapInfo{};  // 8-bit header and the 256 colour slots, kept between saves
    uint8_t m_bColorTable[256 * 3] = {};
    std::unique_ptr<GifLzw> m_lzw = std::make_unique<GifLzw>();
};

// A scope that clears the busy flag however the save ends.
struct Busy {
    bool& flag;
    ~Busy() { flag = false; }
};

// The runtime's error for a failed file write: 61 for a full disk, 57 otherwise.
[[noreturn]] void raise_write_error(uint32_t platform_error) {
    if (platform_error == 112) raise(err::DiskFull);
    raise(err::DeviceIO);
}

bool GifWriter::SaveGIF(Object pic, String sFileName, Long& hDc, bool& UseTrans, Long TransColor) {
    if (m_bBusy) return false;
    m_bBusy = true;
    Busy busy{m_bBusy};

    // 3. the size, which must fit the file's 16-bit fields
    const HGDI picture_bitmap = pic.value().to_long();
    BITMAP bm{};
    GetObjectA(picture_bitmap, sizeof bm, &bm);
    m_lWidth = bm.bmWidth;
    m_lHeight = bm.bmHeight;
    const Integer width16 = narrow<Integer>(m_lWidth), height16 = narrow<Integer>(m_lHeight);
    const int32_t stride = (m_lWidth + 3) & ~3;

    // 4. the contexts; whatever happens from here on (12.), the owners release the
    // contexts and the 8-bit bitmap and put back what was selected into them
    OwnedDC screen(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    OwnedDC dc8(CreateCompatibleDC(screen.get()));
    OwnedObject bitmap8;
    Selected selected8;
    OwnedDC picture_dc;
    Selected picture_selected;
    HGDI source = hDc;
    if (hDc == 0) picture_dc.reset(CreateCompatibleDC(screen.get()));  // the picture goes in after the palette
    screen.reset();

    // 2 and 5. the palette: the adaptive one is built from a 24-bit section filled from the
    // picture; the fixed one needs no copy of the pixels (the copy would be all the memory the
    // save takes), and the section's size is the picture's size either way.
    auto palette = ComPtr<IUnknown>::adopt(create_cPalette()).query<_cPalette>(IID__cPalette);
    Long dib_w = m_lWidth, dib_h = m_lHeight, count = 0;
    if (m_bBestQuality) {
        if (!m_cDib) {
            m_cDib = ComPtr<IUnknown>::adopt(create_cDIBSection()).query<_cDIBSection>(IID__cDIBSection);
            if (!m_cDib) raise(err::OutOfMemory);
        }
        IDispatch* p = pic.get();
        VARIANT ignored;
        check(m_cDib->CreateFromPicture(&p, &ignored));
        VariantClear(&ignored);
        _cDIBSection* section = m_cDib.get();
        check(palette->CreateOptimal(&section, kBestColours, kBestLevels));
        check(m_cDib->get_Width(&dib_w));
        check(m_cDib->get_Height(&dib_h));
        check(m_cDib->ClearUp());  // its pixels have given their palette; the 8-bit copy comes next
    } else {
        // the 24-bit copy this path skips fails with error 6 when its size leaves a Long;
        // the save fails the same way without making it
        checked::mul<Long>(m_lHeight, checked::add<Long>(checked::mul<Long>(3, m_lWidth), 3) & ~3);
        check(palette->CreateWebSafe());
    }
    check(palette->get_Count(&count));
    m_tBitmapInfo.bmiHeader = {40, dib_w, dib_h, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    // entries past the palette's count are black, not the colours of an earlier save
    std::fill(std::begin(m_tBitmapInfo.bmiColors), std::end(m_tBitmapInfo.bmiColors), RGBQUAD{});
    for (Long k = 0; k <= std::min<Long>(count - 1, 255); ++k) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = k + 1;
        BYTE r = 0, g = 0, b = 0;
        check(palette->get_Red(index, &r));
        check(palette->get_Green(index, &g));
        check(palette->get_Blue(index, &b));
        m_tBitmapInfo.bmiColors[k] = {b, g, r, 0};
    }
    // The picture's own pixels with the fixed table need no 8-bit copy: each row is matched
    // as it is read (the same indices, without a picture-sized bitmap to fill and read back).
    const bool rows_from_picture = hDc == 0 && !m_bBestQuality;
    int32_t bits = 0;
    if (!rows_from_picture) bitmap8.reset(CreateDIBSection(hDc, &m_tBitmapInfo, DIB_RGB_COLORS, &bits, nullptr, 0));

    // The picture enters its context only now: a bitmap is selected into one device
    // context at a time, and the adaptive palette above reads it through a context of
    // its own (CreateFromPicture); selected earlier, that read would find no pixels.
    // A picture selected into a context of its owner's cannot enter ours; its rows are
    // then read from the bitmap itself (below), which gives the same indices.
    bool blit_source = true;
    if (picture_dc) {
        picture_selected.select(picture_dc.get(), picture_bitmap);
        source = picture_dc.get();
        blit_source = static_cast<bool>(picture_selected);
    }

    // 6. the pixels as indices: through the 8-bit bitmap, or straight from the picture
    HGDI rows_from = 0, rows_dc = 0;
    if (bitmap8 && blit_source) {
        selected8.select(dc8.get(), bitmap8.get());
        BitBlt(dc8.get(), 0, 0, m_lWidth, m_lHeight, source, 0, 0, SRCCOPY);
        rows_from = bitmap8.get();
        rows_dc = dc8.get();
    } else {
        m_tBitmapInfo.bmiHeader = {40, m_lWidth, m_lHeight, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
        rows_from = picture_bitmap;
        rows_dc = source;
    }

    // 7. the colour table and the transparent index
    int transparent = 0;
    bool found = false;
    for (int k = 0; k < 256; ++k) {
        const RGBQUAD& q = m_tBitmapInfo.bmiColors[k];
        m_bColorTable[k * 3] = q.rgbRed;
        m_bColorTable[k * 3 + 1] = q.rgbGreen;
        m_bColorTable[k * 3 + 2] = q.rgbBlue;
        if (UseTrans && !found && (q.rgbRed + 256 * q.rgbGreen + 65536 * q.rgbBlue) == TransColor) {
            transparent = k;
            found = true;
        }
    }

    // 8. the file: written beside the target, which it replaces once complete; a folder,
    // a device or a file we may not write is refused and stays as it is
    OutputFile out;
    if (!out.open(file_name(sFileName))) {
        const uint32_t e = out.open_error();
        // path not found, access, a full disk; otherwise the name is no good
        raise(e == 3 ? err::PathNotFound : e == 5 ? err::PathFileAccess : e == 112 ? err::DiskFull : err::BadFileName);
    }

    // 9. signature, screen, colour table, extension, image descriptor, code size
    out.write(UseTrans ? "GIF89a" : "GIF87a", 6);
    const uint8_t screen_desc[7] = {static_cast<uint8_t>(width16),
                                    static_cast<uint8_t>(width16 >> 8),
                                    static_cast<uint8_t>(height16),
                                    static_cast<uint8_t>(height16 >> 8),
                                    0xF7,
                                    0,
                                    0};
    out.write(screen_desc, 7);
    out.write(m_bColorTable, sizeof m_bColorTable);
    if (UseTrans) {
        const uint8_t gce[8] = {0x21, 0xF9, 0x04, 0x09, 0x00, 0x00, static_cast<uint8_t>(transparent), 0x00};
        out.write(gce, 8);
    }
    const uint8_t image[11] = {0x2C,           0,    0, 0, 0, screen_desc[0], screen_desc[1], screen_desc[2],
                               screen_desc[3], 0x07, 8};
    out.write(image, 11);

    // 10. the rows, top first, one scan line at a time from the bottom-up bitmap
    GifLzw& lzw = *m_lzw;
    lzw.set_sink([&out](const uint8_t* b, size_t n) { out.write(b, n); });
    lzw.start();
    std::vector<uint8_t> row(static_cast<size_t>(stride) + 1, 0);
    for (Long i = 1; i <= m_lHeight; ++i) {
        // each step of the compression goes on past a failing one; only a failed write ends the save
        resume_next([&] {
            if (GetDIBits(rows_dc, rows_from, static_cast<uint32_t>(m_lHeight - i), 1, row.data(), &m_tBitmapInfo,
                          DIB_RGB_COLORS) != 1)
                std::fill(row.begin(), row.end(), 0);
            if (m_lWidth > 0) lzw.encode_row(row.data(), m_lWidth);
        });
        if (i % 10 == 0) {
            resume_next([&] { raise_Progress(round_to<Integer>(i * 100.0 / m_lHeight)); });
            platform::DoEvents();
        }
    }
    // 11. end of the image data and the trailer
    lzw.finish();
    const uint8_t trailer = 0x3B;
    out.write(&trailer, 1);
    if (!out.close()) raise_write_error(out.error());
    return true;
}

Variant GifWriter::get_BestQuality() { return Variant::boolean(m_bBestQuality); }
void GifWriter::put_BestQuality(Variant RHS) { m_bBestQuality = RHS.to_bool(); }

}  // namespace
}  // namespace t2

T2_DEFINE_CLASS(GIF, _GIF, t2::GifWriter)
