// cDIBSection: a 24-bit bitmap section held in its own memory device context,
// with pixel memory addressed in place (rows bottom-up, blue-green-red, rows
// padded to 4 bytes); resampling by bilinear interpolation and the bitmap file
// writer work on that memory directly.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "frame/com.hpp"
#include "base/strings.hpp"
#include "platform/errtext.hpp"
#include "platform/files.hpp"
#include "platform/gdi/gdi.hpp"
#include "platform/gdi/owners.hpp"
#include "frame/msgbox.hpp"
#include "platform/pump.hpp"
#include "imaging/file_name.hpp"

namespace t2 {
namespace {

using namespace t2::gdi;

// Error 17 names this source, the library's name and the class's own number.
constexpr const char16_t* kSaveErrorSource = u"tavolin2.cDIBSection256";

class DibSection : public ImplOf<_cDIBSection> {
public:
    T2_MEMBERS__cDIBSection(T2_NATURAL_DECL)
    void Class_Terminate() { ClearUp(); }  // the object is ending: no calls through its interface now

private:
    // The pixel grid over the section's memory: byte within the row, row from the bottom.
    // An object without pixel memory gets an empty grid, so no access reaches memory.
    Grid<uint8_t> pixel_grid();
    // The section's own memory of `bytes` bytes, reached through its handle (never
    // through the published address, which is 0 for memory above the 32-bit window).
    uint8_t* section_memory(size_t bytes) const { return m_hSection ? bitmap_bits(m_hSection, bytes) : nullptr; }
    void ResampleInto(DibRef& target);
    static bool WriteFailed(Long result, Long requested, Long written) { return result == 0 || written != requested; }

    Long m_hSection = 0;
    Long m_hPrevBitmap = 0;
    Long m_hMemDC = 0;
    Long m_lBitsAddr = 0;
    BITMAPINFOHEADER m_tHeader{};
};

Grid<uint8_t> DibSection::pixel_grid() {
    Long bpsl = get_BytesPerScanLine();
    if (m_hSection == 0 || bpsl <= 0 || m_tHeader.biHeight <= 0) return {};
    uint8_t* base = section_memory(static_cast<size_t>(bpsl) * static_cast<size_t>(m_tHeader.biHeight));
    if (!base) return {};
    return Grid<uint8_t>(base, bpsl, m_tHeader.biHeight, bpsl);
}

bool DibSection::Create(Long lWidth, Long lheight) {
    check(self()->ClearUp());
    m_hMemDC = CreateCompatibleDC(0);
    if (m_hMemDC == 0) return false;
    VARIANT_BOOL made = VARIANT_FALSE;
    check(self()->CreateDIB(m_hMemDC, lWidth, lheight, &m_hSection, &made));
    if (made) {
        m_hPrevBitmap = SelectObject(m_hMemDC, m_hSection);
        return true;
    }
    DeleteDC(m_hMemDC);
    m_hMemDC = 0;
    return false;
}

bool DibSection::CreateDIB(Long lHDC, Long lWidth, Long lheight, Long& hDib) {
    m_tHeader.biSize = 40;
    m_tHeader.biWidth = lWidth;
    m_tHeader.biHeight = lheight;
    m_tHeader.biPlanes = 1;
    m_tHeader.biBitCount = 24;
    m_tHeader.biCompression = BI_RGB;
    Long bpsl = 0;
    check(self()->get_BytesPerScanLine(&bpsl));
    m_tHeader.biSizeImage = static_cast<uint32_t>(checked::mul<Long>(m_tHeader.biHeight, bpsl));
    BITMAPINFO info{};
    info.bmiHeader = m_tHeader;
    hDib = CreateDIBSection(lHDC, &info, DIB_RGB_COLORS, &m_lBitsAddr, nullptr, 0);
    return hDib != 0;
}

Variant DibSection::CreateFromPicture(Object& picThis) {
    BITMAP bm{};
    GetObjectA(picThis.value().to_long(), sizeof bm, &bm);
    VARIANT_BOOL made = VARIANT_FALSE;
    check(self()->Create(bm.bmWidth, bm.bmHeight, &made));
    if (!made) return {};
    const OwnedDC display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    if (!display) return {};
    const OwnedDC mem(CreateCompatibleDC(display.get()));
    if (!mem) return {};
    const HGDI picture = picThis.value().to_long();
    HRESULT hr = S_OK;
    {
        const Selected into(mem.get(), picture);
        if (into) {
            hr = self()->LoadPictureBlt(mem.get(), 0, 0, -1, -1, SRCCOPY);
        } else {
            // The picture is selected into a context of its owner's (a picture box holds its
            // bitmap), so it cannot be blitted from ours: its rows are read from the bitmap
            // itself, 24 bits each, straight into this section's pixels.
            BITMAPINFO bi{};
            bi.bmiHeader = m_tHeader;
            const auto lines = static_cast<uint32_t>(m_tHeader.biHeight);
            if (uint8_t* pixels = section_memory(static_cast<size_t>(get_BytesPerScanLine()) * lines))
                GetDIBits(mem.get(), picture, 0, lines, pixels, &bi, DIB_RGB_COLORS);
        }
    }
    check(hr);
    return {};
}

Long DibSection::get_BytesPerScanLine() { return checked::add<Long>(checked::mul<Long>(3, m_tHeader.biWidth), 3) & ~3; }
Long DibSection::get_Width() { return m_tHeader.biWidth; }
Long DibSection::get_Height() { return m_tHeader.biHeight; }
Long DibSection::get_hDc() { return m_hMemDC; }
Long DibSection::get_hDib() { return m_hSection; }
Long DibSection::get_DIBSectionBitsPtr() { return m_lBitsAddr; }

void DibSection::LoadPictureBlt(Long lHDC, Long lSrcLeft, Long lSrcTop, Long lSrcWidth, Long lSrcHeight, Long eRop) {
    if (lSrcWidth < 0) check(self()->get_Width(&lSrcWidth));
    if (lSrcHeight < 0) check(self()->get_Height(&lSrcHeight));
    BitBlt(m_hMemDC, 0, 0, lSrcWidth, lSrcHeight, lHDC, lSrcLeft, lSrcTop, static_cast<uint32_t>(eRop));
}

void DibSection::PaintPicture(Long lHDC, Long lDestLeft, Long lDestTop, Long lDestWidth, Long lDestHeight,
                              Long lSrcLeft, Long lSrcTop, Long eRop) {
    if (lDestWidth < 0) check(self()->get_Width(&lDestWidth));
    if (lDestHeight < 0) check(self()->get_Height(&lDestHeight));
    BitBlt(lHDC, lDestLeft, lDestTop, lDestWidth, lDestHeight, m_hMemDC, lSrcLeft, lSrcTop,
           static_cast<uint32_t>(eRop));
}

bool DibSection::CopyToClipboard(bool bAsDIB) {
    const OwnedDC display(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    if (!display) return false;
    const OwnedDC mem(CreateCompatibleDC(display.get()));
    if (!mem) return false;
    if (bAsDIB) {
        t2::MsgBox(u"I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!", platform::vbOKOnly,
                   u"");
        return false;
    }
    Long w = 0, h = 0;
    check(self()->get_Width(&w));
    check(self()->get_Height(&h));
    OwnedObject bitmap(CreateCompatibleBitmap(display.get(), w, h));
    if (!bitmap) return false;
    HRESULT painted;
    {
        const Selected into(mem.get(), bitmap.get());
        painted = self()->PaintPicture(mem.get(), 0, 0, -1, -1, 0, 0, SRCCOPY);
    }
    bool result = false;
    if (SUCCEEDED(painted) && OpenClipboard(0)) {
        EmptyClipboard();
        result = SetClipboardData(CF_BITMAP, bitmap.get()) != 0;
        if (result) bitmap.release();  // the clipboard owns it now
        CloseClipboard();
    }
    check(painted);
    return result;
}

void DibSection::RandomiseBits(bool bGray) {
    Grid<uint8_t> grid = pixel_grid();
    if (grid.rows() == 0) return;  // no section: nothing to fill, no memory touched
    std::minstd_rand rng(static_cast<uint32_t>(platform::Timer() * 1000.0) ^ platform::time_seed());
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    auto draw = [&] { return static_cast<Byte>(round_half_even(static_cast<double>(uniform(rng)) * 255.0)); };
    const Long height = m_tHeader.biHeight;
    const Long xEnd = checked::mul<Long>(3, checked::sub<Long>(m_tHeader.biWidth, 1));
    if (bGray) {
        for (Long y = 0; y < height; ++y)
            for (Long x = 0; x <= xEnd; x += 3) {
                Byte v = draw();
                grid(x, y) = v;
                grid(x + 1, y) = v;
                grid(x + 2, y) = v;
            }
    } else {
        for (Long x = 0; x <= xEnd; x += 3)
            for (Long y = 0; y < height; ++y) {
                grid(x, y) = 0;
                grid(x + 1, y) = draw();
                grid(x + 2, y) = draw();
            }
    }
}

void DibSection::ClearUp() {
    if (m_hMemDC != 0) {
        if (m_hSection != 0) {
            SelectObject(m_hMemDC, m_hPrevBitmap);
            DeleteObject(m_hSection);
        }
        DeleteDC(m_hMemDC);
    }
    m_hMemDC = 0;
    m_hSection = 0;
    m_hPrevBitmap = 0;
    m_lBitsAddr = 0;
}

DibRef DibSection::Resample(Long lNewHeight, Long lNewWidth) {
    // A zero or negative size is a failed creation: Nothing, without error.  (Create
    // itself takes a negative height as a top-down section, as the platform does;
    // a resampled picture is always bottom-up.)
    if (lNewWidth <= 0 || lNewHeight <= 0) return {};
    auto target = ComPtr<IUnknown>::adopt(create_cDIBSection()).query<_cDIBSection>(IID__cDIBSection);
    VARIANT_BOOL made = VARIANT_FALSE;
    check(target->Create(lNewWidth, lNewHeight, &made));
    if (!made) return {};
    Long w = 0, h = 0;
    check(self()->get_Width(&w));
    check(self()->get_Height(&h));
    if (lNewWidth == w && lNewHeight == h) {
        Long source = 0;
        check(self()->get_hDc(&source));
        check(target->LoadPictureBlt(source, 0, 0, -1, -1, SRCCOPY));
    } else {
        ResampleInto(target);
    }
    return target;
}

void DibSection::ResampleInto(DibRef& target) {
    Grid<uint8_t> src = pixel_grid();
    if (src.rows() == 0) raise(err::ObjectNotSet);  // no pixel memory to read
    Long dW = 0, dH = 0, dSection = 0, dBpsl = 0;
    check(target->get_Width(&dW));
    check(target->get_Height(&dH));
    check(target->get_hDib(&dSection));
    check(target->get_BytesPerScanLine(&dBpsl));
    uint8_t* dbase = bitmap_bits(dSection, static_cast<size_t>(dBpsl) * static_cast<size_t>(dH));
    if (!dbase) raise(err::ObjectNotSet);
    Grid<uint8_t> dst(dbase, dBpsl, dH, dBpsl);

    const Long sW = m_tHeader.biWidth, sH = m_tHeader.biHeight;
    const float xScale = static_cast<float>(static_cast<double>(sW - 1) / dW);
    const float yScale = static_cast<float>(static_cast<double>(sH - 1) / dH);
    auto blend = [](float f, double a, double b) {
        return static_cast<Long>(round_half_even((1.0 - static_cast<double>(f)) * a + static_cast<double>(f) * b));
    };
    for (Long y = 0; y < dH; ++y) {
        const float fy = yScale * static_cast<float>(y);
        const Long iy = static_cast<Long>(std::floor(fy));
        const float dy = fy - static_cast<float>(iy);
        for (Long x = 0; x < dW; ++x) {
            const float fx = xScale * static_cast<float>(x);
            const Long ix = static_cast<Long>(std::floor(fx));
            const float dx = fx - static_cast<float>(ix);
            const Long b = checked::mul<Long>(3, ix);
            uint8_t lo[6], hi[6];
            for (int k = 0; k < 6; ++k) lo[k] = src(b + k, iy);
            for (int k = 0; k < 6; ++k) hi[k] = src(b + k, iy + 1);
            // vertical blends: red, green, blue of the left pixel, then of the right one
            Long v[6];
            v[0] = blend(dy, lo[2], hi[2]);
            v[1] = blend(dy, lo[1], hi[1]);
            v[2] = blend(dy, lo[0], hi[0]);
            v[3] = blend(dy, lo[5], hi[5]);
            v[4] = blend(dy, lo[4], hi[4]);
            v[5] = blend(dy, lo[3], hi[3]);
            // horizontal blends: red, green, blue
            Long r = std::clamp<Long>(blend(dx, v[0], v[3]), 0, 255);
            Long g = std::clamp<Long>(blend(dx, v[1], v[4]), 0, 255);
            Long bl = std::clamp<Long>(blend(dx, v[2], v[5]), 0, 255);
            dst(3 * x, y) = static_cast<uint8_t>(bl);
            dst(3 * x + 1, y) = static_cast<uint8_t>(g);
            dst(3 * x + 2, y) = static_cast<uint8_t>(r);
        }
    }
}

bool DibSection::SavePicture(String sFileName) {
    const Long bfSize = checked::add<Long>(static_cast<Long>(m_tHeader.biSizeImage), 54);
    // Without pixel memory there is nothing to write: refused before the file is touched.
    const uint8_t* pixels = section_memory(m_tHeader.biSizeImage);
    if (!pixels) return false;
    // The file is written beside the target and replaces it only when complete: a failed
    // save leaves what was there before, and a folder, device or read-only file is refused.
    platform::ReplacingFile file;
    if (!file.open(file_name(sFileName))) {
        Bstr message;
        check(self()->ApiError(static_cast<Long>(file.error()), message.out()));
        throw Error(err::CantPerform, message.str(), kSaveErrorSource);
    }
    uint8_t file_header[14] = {'B', 'M'};
    std::memcpy(file_header + 2, &bfSize, 4);
    const uint32_t offset = 54;
    std::memcpy(file_header + 10, &offset, 4);
    // each write is judged as the platform's call would report it: all the bytes, or none counted
    auto put = [&](const void* data, uint32_t bytes) {
        const bool ok = file.write(data, bytes);
        return !WriteFailed(ok ? 1 : 0, static_cast<Long>(bytes), ok ? static_cast<Long>(bytes) : 0);
    };
    const bool complete = put(file_header, 14) && put(&m_tHeader, 40) && put(pixels, m_tHeader.biSizeImage);
    // data that did not reach the disk shows at commit: then the save is not complete either
    return complete && file.commit();
}

String DibSection::ApiError(Long e) {
    char buffer[256] = {};
    uint32_t n =
        platform::FormatMessageA(platform::FORMAT_MESSAGE_FROM_SYSTEM | platform::FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<uint32_t>(e), 0, buffer, sizeof buffer, nullptr);
    String text;
    for (uint32_t i = 0; i < n && i < sizeof buffer; ++i) text.push_back(from_cp1252(static_cast<uint8_t>(buffer[i])));
    return text;
}

}  // namespace
}  // namespace t2

T2_DEFINE_CLASS(cDIBSection, _cDIBSection, t2::DibSection)
