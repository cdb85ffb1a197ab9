// cDIBSection: sizes and handles, re-creation, clearing, pictures, painting,
// the clipboard, noise and the platform's error texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/pictures.hpp"
#include "support/recorder.hpp"

using namespace t2;
using namespace t2test;

namespace {

ComPtr<_cDIBSection> new_dib() { return create(CLSID_cDIBSection).query<_cDIBSection>(IID__cDIBSection); }

struct State {
    LONG w, h, bpsl, dc, dib, bits;
};
State state(_cDIBSection* d) {
    State s{};
    d->get_Width(&s.w);
    d->get_Height(&s.h);
    d->get_BytesPerScanLine(&s.bpsl);
    d->get_hDc(&s.dc);
    d->get_hDib(&s.dib);
    d->get_DIBSectionBitsPtr(&s.bits);
    return s;
}

int error_number(HRESULT hr) { return T2_IS_ERROR_STATUS(hr) ? (hr & 0xFFFF) : -1; }

TEST(DibSection, ScanLineWidths) {
    auto d = new_dib();
    VARIANT_BOOL ok;
    for (auto [w, bpsl] : std::vector<std::pair<LONG, LONG>>{{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {100, 300}}) {
        ASSERT_EQ(d->Create(w, 1, &ok), S_OK);
        EXPECT_EQ(state(d.get()).bpsl, bpsl) << w;
    }
}

TEST(DibSection, CreateStatesAndRelease) {
    auto d = new_dib();
    VARIANT_BOOL ok = VARIANT_TRUE;
    ASSERT_EQ(d->Create(0, 10, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    State s = state(d.get());
    EXPECT_EQ(s.w, 0);
    EXPECT_EQ(s.h, 10);
    EXPECT_EQ(s.dc | s.dib | s.bits, 0);

    size_t before = gdi::object_count();
    ASSERT_EQ(d->Create(30, 20, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    s = state(d.get());
    EXPECT_NE(s.dc, 0);
    EXPECT_NE(s.dib, 0);
    EXPECT_NE(s.bits, 0);
    EXPECT_EQ(gdi::GetCurrentObject(s.dc, 7), s.dib);  // the section stays selected into its context
    size_t holding = gdi::object_count();
    ASSERT_EQ(d->Create(8, 8, &ok), S_OK);  // the old section and context are released first
    EXPECT_EQ(gdi::object_count(), holding);
    EXPECT_EQ(gdi::GetObjectType(s.dib), 0);

    ASSERT_EQ(d->ClearUp(), S_OK);
    s = state(d.get());
    EXPECT_EQ(s.w, 8);
    EXPECT_EQ(s.h, 8);
    EXPECT_EQ(s.dc | s.dib | s.bits, 0);
    EXPECT_EQ(gdi::object_count(), before);
}

TEST(DibSection, CreateDibHandsTheHandleBack) {
    auto d = new_dib();
    LONG h = 0;
    VARIANT_BOOL ok;
    ASSERT_EQ(d->CreateDIB(0, 4, 3, &h, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(gdi::GetObjectType(h), 7);
    EXPECT_EQ(state(d.get()).dib, 0);  // the caller owns it; the object does not record it
    gdi::DeleteObject(h);
}

TEST(DibSection, SizesBeyondALongOverflowBeforeAnythingIsMade) {
    auto d = new_dib();
    size_t before = gdi::object_count();
    VARIANT_BOOL ok;
    EXPECT_EQ(error_number(d->Create(800000000, 1, &ok)), 6);  // 3 x width + 3
    EXPECT_EQ(error_number(d->Create(30000, 30000, &ok)), 6);  // height x row bytes
    d->ClearUp();
    EXPECT_EQ(gdi::object_count(), before);
}

TEST(DibSection, NoSectionMeansNoMemoryTouched) {
    auto d = new_dib();
    VARIANT_BOOL ok;
    d->Create(0, 5, &ok);
    EXPECT_EQ(d->RandomiseBits(VARIANT_TRUE), S_OK);  // nothing to fill
    _cDIBSection* out = nullptr;
    EXPECT_EQ(error_number(d->Resample(2, 2, &out)), 91);
    EXPECT_EQ(out, nullptr);
    std::string path = testing::TempDir() + "/t2-never.bmp";
    std::remove(path.c_str());
    Bstr name(from_utf8(path));
    ok = VARIANT_TRUE;
    EXPECT_EQ(d->SavePicture(name.get(), &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    EXPECT_NE(access(path.c_str(), F_OK), 0);  // refused before the file was made
}

TEST(DibSection, FromPictureCopiesThePixels) {
    auto d = make_section(5, 3, [](int x, int y) { return static_cast<uint32_t>(x * 40 + y * 0x10000 + 7 * 256); });
    State s = state(d.get());
    EXPECT_EQ(s.w, 5);
    EXPECT_EQ(s.h, 3);
    EXPECT_EQ(pixel(d.get(), 4, 2), 160u + 0x20000u + 7 * 256u);
    EXPECT_EQ(pixel(d.get(), 0, 0), 7u * 256u);
}

TEST(DibSection, AnIconPictureLeavesNoSection) {
    auto d = make_section(4, 4, [](int, int) { return 0u; });
    gdi::HGDI icon = gdi::CreateSolidBrush(0);  // a handle that is not a bitmap
    HandlePicture pic(icon);
    IDispatch* p = &pic;
    VARIANT r;
    ASSERT_EQ(d->CreateFromPicture(&p, &r), S_OK);
    EXPECT_EQ(r.vt, VT_EMPTY);
    State s = state(d.get());
    EXPECT_EQ(s.dib, 0);  // the earlier section was released
    EXPECT_EQ(s.w, 0);
    gdi::DeleteObject(icon);
    IDispatch* nothing = nullptr;
    EXPECT_EQ(error_number(d->CreateFromPicture(&nothing, &r)), 91);
}

TEST(DibSection, PaintPictureDefaultsAndEmptyRectangles) {
    auto d = make_section(3, 2, [](int, int) { return 0x00FF0000u; });
    gdi::HGDI target = make_bitmap(6, 6, [](int, int) { return 0u; });
    gdi::HGDI dc = gdi::CreateCompatibleDC(0);
    gdi::HGDI old = gdi::SelectObject(dc, target);
    ASSERT_EQ(d->PaintPicture(dc, 0, 0, -1, -1, 0, 0, gdi::SRCCOPY), S_OK);
    EXPECT_EQ(gdi::GetPixel(dc, 2, 1), 0x0000FFu);  // red, as a colour value
    EXPECT_EQ(gdi::GetPixel(dc, 3, 1), 0u);
    ASSERT_EQ(d->PaintPicture(dc, 10, 10, 0, 0, 0, 0, gdi::SRCCOPY), S_OK);
    ASSERT_EQ(d->PaintPicture(dc, 4, 4, 0, 0, 0, 0, gdi::SRCCOPY), S_OK);
    EXPECT_EQ(gdi::GetPixel(dc, 4, 4), 0u);
    // and the other way: load a corner of the target into the section
    gdi::SetPixel(dc, 5, 5, 0x00ABCDEF);
    ASSERT_EQ(d->LoadPictureBlt(dc, 5, 5, -1, -1, gdi::SRCCOPY), S_OK);
    EXPECT_EQ(pixel(d.get(), 0, 0), 0x00EFCDABu);
    gdi::SelectObject(dc, old);
    gdi::DeleteObject(target);
    gdi::DeleteDC(dc);
}

TEST(DibSection, ClipboardCopiesOnlyAsABitmap) {
    auto d = make_section(2, 2, [](int x, int) { return x ? 0x00123456u : 0x00654321u; });
    BoxRecorder boxes;
    VARIANT_BOOL ok = VARIANT_TRUE;
    ASSERT_EQ(d->CopyToClipboard(VARIANT_TRUE, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_FALSE);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!");
    EXPECT_EQ(boxes.boxes[0].title, "");
    EXPECT_EQ(boxes.boxes[0].style, 0);
    size_t before = gdi::object_count();
    ASSERT_EQ(d->CopyToClipboard(VARIANT_FALSE, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(gdi::object_count(), before + 1);  // only the clipboard's bitmap remains
    gdi::OpenClipboard(0);
    gdi::HGDI bm = gdi::GetClipboardData(gdi::CF_BITMAP);
    gdi::HGDI dc = gdi::CreateCompatibleDC(0);
    gdi::HGDI old = gdi::SelectObject(dc, bm);
    EXPECT_EQ(gdi::GetPixel(dc, 1, 0), 0x00563412u);
    gdi::SelectObject(dc, old);
    gdi::DeleteDC(dc);
    gdi::EmptyClipboard();
    gdi::CloseClipboard();
    EXPECT_EQ(gdi::object_count(), before);
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST(DibSection, NoiseIsGreyOrHasNoBlueAndLeavesPadding) {
    auto d = new_dib();
    VARIANT_BOOL ok;
    ASSERT_EQ(d->Create(5, 7, &ok), S_OK);  // 15 bytes a row and one of padding
    State s = state(d.get());
    uint8_t* base = gdi::bitmap_bits(s.dib, static_cast<size_t>(s.bpsl) * s.h);
    for (int y = 0; y < s.h; ++y) base[y * s.bpsl + 15] = 0xAB;
    ASSERT_EQ(d->RandomiseBits(VARIANT_TRUE), S_OK);
    int distinct = 0;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 5; ++x) {
            uint32_t p = pixel(d.get(), x, y);
            EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
            EXPECT_EQ(p & 0xFF, p >> 16);
            distinct += (p & 0xFF) != (pixel(d.get(), 0, 0) & 0xFF);
        }
    EXPECT_GT(distinct, 0);
    ASSERT_EQ(d->RandomiseBits(VARIANT_FALSE), S_OK);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(pixel(d.get(), x, y) & 0xFF, 0u);
    for (int y = 0; y < s.h; ++y) EXPECT_EQ(base[y * s.bpsl + 15], 0xAB);
}

TEST(DibSection, ApiErrorGivesThePlatformText) {
    auto d = new_dib();
    Bstr text;
    ASSERT_EQ(d->ApiError(2, text.out()), S_OK);
    String t = text.str();
    ASSERT_GT(t.size(), 2u);
    EXPECT_EQ(t.substr(t.size() - 2), u"\r\n");
    ASSERT_EQ(d->ApiError(424242, text.out()), S_OK);
    EXPECT_TRUE(text.str().empty());
}

TEST(DibSection, LateBoundDefaults) {
    auto d = create(CLSID_cDIBSection);
    Object o(d.get());
    EXPECT_TRUE(o.call(u"Create", {Variant(Long{4}), Variant(Long{4})}).to_bool());
    EXPECT_EQ(o.get(u"BytesPerScanLine").to_long(), 12);
    EXPECT_EQ(o.get(u"height").raw().vt, VT_I4);
    BoxRecorder boxes;
    EXPECT_FALSE(o.call(u"CopyToClipboard").to_bool());  // the omitted argument is True
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

}  // namespace

// Regression: pixel memory aliased between sections once it lay past the 32-bit window.
TEST(DibSection, PixelMemoryAliasedBetweenSections) {
    struct Window {
        Window() { gdi::use_32bit_window(false); }
        ~Window() { gdi::use_32bit_window(true); }
    } high;
    // sections larger than 64 KiB, each filled with its own colour
    constexpr int kSections = 40;
    std::vector<ComPtr<_cDIBSection>> dibs;
    for (int k = 0; k < kSections; ++k) {
        uint32_t colour = 0x000101u * static_cast<uint32_t>(k + 1);
        dibs.push_back(make_section(200, 200, [=](int, int) { return colour; }));
        State s = state(dibs.back().get());
        ASSERT_NE(s.dib, 0);
        EXPECT_EQ(s.bits, 0);  // no stand-in address: the memory is reached through the section
    }
    // each member works on its own section's memory, whichever came before or after it
    ASSERT_EQ(dibs[0]->RandomiseBits(VARIANT_TRUE), S_OK);
    for (int k = 1; k < kSections; ++k) {
        uint32_t colour = 0x000101u * static_cast<uint32_t>(k + 1);
        EXPECT_EQ(pixel(dibs[k].get(), 0, 0), colour) << k;
        EXPECT_EQ(pixel(dibs[k].get(), 199, 199), colour) << k;
    }
    _cDIBSection* resampled = nullptr;
    ASSERT_EQ(dibs[7]->Resample(50, 60, &resampled), S_OK);
    auto small = ComPtr<_cDIBSection>::adopt(resampled);
    EXPECT_EQ(pixel(small.get(), 30, 25), 0x000808u);
    EXPECT_EQ(pixel(dibs[8].get(), 30, 25), 0x000909u);

    auto palette = create(CLSID_cPalette).query<_cPalette>(IID__cPalette);
    _cDIBSection* section = dibs[20].get();
    ASSERT_EQ(palette->CreateOptimal(&section, 16, 6), S_OK);
    LONG count = 0;
    palette->get_Count(&count);
    EXPECT_EQ(count, 1);  // one colour: that of section 20 alone
}
