// The host's PictureBox and pictures, late-bound as drawing code calls them.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/gdi/gdi.hpp"
#include "late.hpp"
#include "kit/picture.hpp"
#include "kit/picture_box.hpp"

using namespace kit;
using namespace t2::gdi;

namespace {

Value call(IDispatch* d, const char* member, std::vector<Value> args = {},
           WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    std::vector<Arg> a;
    for (auto& v : args) a.push_back({"", v});
    Value r;
    CallError e{};
    if (!invoke(d, member, flags, a, r, e)) throw std::runtime_error(member + (": " + e.description));
    return r;
}
void put(IDispatch* d, const char* member, Value v) { call(d, member, {v}, DISPATCH_PROPERTYPUT); }
double num(const Value& v) {
    VARIANT t;
    VariantInit(&t);
    VariantChangeType(&t, &v.get(), 0, VT_R8);
    return t.dblVal;
}

TEST(PictureBox, SizesInTwipsAndPixels) {
    PictureBox* box = PictureBox::make(100, 50, true);
    EXPECT_EQ(num(call(box, "Width")), (100 + 4) * 15);
    EXPECT_EQ(num(call(box, "ScaleHeight")), 50);
    put(box, "Height", Value(static_cast<double>(60 * 15)));  // outer 60 pixels, inner 56
    EXPECT_EQ(num(call(box, "ScaleHeight")), 56);
    put(box, "ScaleMode", Value(static_cast<short>(1)));
    EXPECT_EQ(num(call(box, "ScaleWidth")), 1500);
    put(box, "ScaleMode", Value(static_cast<short>(3)));
    EXPECT_THROW(put(box, "ScaleMode", Value(static_cast<short>(7))), std::runtime_error);
    EXPECT_EQ(box->inner_height(), 56);
    box->Release();
}

TEST(PictureBox, LineBoxesPrintAndMeasure) {
    PictureBox* box = PictureBox::make(60, 40);
    call(box, "Cls");
    // flags 38: a box filled with the given colour, both corners included
    call(box, "Line",
         {Value(static_cast<int>(38)), Value(static_cast<double>(2)), Value(static_cast<double>(3)),
          Value(static_cast<double>(5)), Value(static_cast<double>(9)), Value(static_cast<int>(0))});
    HGDI dc = box->hdc();
    EXPECT_EQ(GetPixel(dc, 2, 3), 0u);
    EXPECT_EQ(GetPixel(dc, 5, 9), 0u);
    EXPECT_EQ(GetPixel(dc, 6, 9), 0xFFFFFFu);
    EXPECT_EQ(GetPixel(dc, 5, 10), 0xFFFFFFu);
    double th = num(call(box, "TextHeight", {Value(std::string("Ag"))}));
    double tw = num(call(box, "TextWidth", {Value(std::string("Ag"))}));
    EXPECT_GT(th, 5);
    EXPECT_GT(tw, 5);
    put(box, "CurrentX", Value(static_cast<double>(10)));
    put(box, "CurrentY", Value(static_cast<double>(20)));
    call(box, "Print", {Value(std::string("Ag"))});
    EXPECT_EQ(num(call(box, "CurrentX")), 0);
    EXPECT_EQ(num(call(box, "CurrentY")), 20 + th);
    int inked = 0;
    for (int y = 20; y < 20 + th; ++y)
        for (int x = 10; x < 10 + tw; ++x) inked += GetPixel(dc, x, y) == 0;
    EXPECT_GT(inked, 5);
    call(box, "Cls");
    EXPECT_EQ(GetPixel(dc, 2, 3), 0xFFFFFFu);
    put(box, "FontSize", Value(static_cast<short>(8)));
    EXPECT_NEAR(num(call(box, "FontSize")), 8, 1e-6);
    box->Release();
}

TEST(PictureBox, PictureAndImage) {
    PictureBox* box = PictureBox::make(4, 4);
    HGDI bm = CreateCompatibleBitmap(box->hdc(), 2, 2);
    HGDI dc = CreateCompatibleDC(0);
    HGDI old = SelectObject(dc, bm);
    SetPixel(dc, 1, 1, 0x00FF00);
    SelectObject(dc, old);
    DeleteDC(dc);
    Picture* pic = Picture::make(bm, Picture::Bitmap, true);
    put(box, "Picture", Value(static_cast<IDispatch*>(pic)));
    EXPECT_EQ(GetPixel(box->hdc(), 1, 1), 0x00FF00u);
    Value img = call(box, "Image");
    ASSERT_EQ(img.vt(), VT_DISPATCH);
    EXPECT_EQ(num(call(img.get().pdispVal, "Type")), 1);
    put(box, "Picture", Value(static_cast<IDispatch*>(nullptr)));
    EXPECT_EQ(call(box, "Picture").get().pdispVal, nullptr);
    EXPECT_EQ(num(call(pic, "Handle")), bm);
    EXPECT_EQ(num(call(pic, "Width")), 53);  // 2 pixels in HIMETRIC
    pic->Release();
    Picture* icon = Picture::icon(32, 32);
    EXPECT_EQ(num(call(icon, "Type")), 3);
    EXPECT_NE(GetObjectType(static_cast<HGDI>(num(call(icon, "Handle")))), 7);
    icon->Release();
    box->Release();
}

TEST(ImageFiles, RoundTripsAndRefusals) {
    HGDI bm = CreateCompatibleBitmap(CreateCompatibleDC(0), 3, 2);
    HGDI dc = CreateCompatibleDC(0);
    HGDI old = SelectObject(dc, bm);
    SetPixel(dc, 0, 0, 0x0000FF);
    SetPixel(dc, 2, 1, 0xFF0000);
    SelectObject(dc, old);
    std::string dir = testing::TempDir();
    for (const char* name : {"/t2-rt.png", "/t2-rt.bmp"}) {
        std::string error;
        ASSERT_TRUE(save_surface(bm, dir + name, error)) << error;
        HGDI back = load_image(dir + name, error);
        ASSERT_NE(back, 0) << error;
        HGDI d2 = CreateCompatibleDC(0);
        HGDI o2 = SelectObject(d2, back);
        EXPECT_EQ(GetPixel(d2, 0, 0), 0x0000FFu) << name;
        EXPECT_EQ(GetPixel(d2, 2, 1), 0xFF0000u) << name;
        EXPECT_EQ(GetPixel(d2, 1, 0), 0u) << name;
        SelectObject(d2, o2);
        DeleteDC(d2);
        DeleteObject(back);
    }
    const std::pair<const char*, std::string> bad[] = {
        {"/t2-garbage.png", "\x89PNG\r\n\x1a\nnot really"},
        {"/t2-short.bmp", "BM\x10\0\0\0"},
        {"/t2-text.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + "junk"},
        {"/t2-bad.gif", "GIF89a"},
        {"/t2-what.xyz", "hello"},
    };
    for (auto& [name, bytes] : bad) {
        {
            std::ofstream f(dir + name, std::ios::binary);
            f << bytes;
        }
        std::string error;
        EXPECT_EQ(load_image(dir + name, error), 0) << name;
        EXPECT_FALSE(error.empty()) << name;
    }
    std::string error;
    EXPECT_EQ(load_image(dir + "/none-such.png", error), 0);
    DeleteObject(bm);
    DeleteDC(dc);
}

}  // namespace
