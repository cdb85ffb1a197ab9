// The barcode members drawing on a real PictureBox, as callers use them.
#include <gtest/gtest.h>

#include "platform/gdi/gdi.hpp"
#include "kit/dispatch_object.hpp"
#include "kit/picture_box.hpp"

using namespace kit;

namespace {

_clsBCAT175* barcode() {
    _clsBCAT175* b = nullptr;
    T2CoCreateInstance(CLSID_clsBCAT175, IID__clsBCAT175, reinterpret_cast<void**>(&b));
    return b;
}

int last_box_count = 0;
std::string last_box_text;
int record_box(void*, const char* text, const char*, int) {
    ++last_box_count;
    last_box_text = text;
    return 0;
}

HRESULT draw39(_clsBCAT175* bc, const char* text, IDispatch* target) {
    BSTR t = SysAllocStringUTF8(text), cap = SysAllocStringUTF8("caption");
    IDispatch* p = target;
    VARIANT r;
    HRESULT hr = bc->Barcode39Draw(&t, &cap, &p, &r);
    SysFreeString(t);
    SysFreeString(cap);
    return hr;
}

// The drawn columns: x of every pixel column holding black in the bar band.
std::vector<int> black_columns(PictureBox* box, int row) {
    std::vector<int> cols;
    for (int x = 0; x < box->inner_width(); ++x)
        if (t2::gdi::GetPixel(box->hdc(), x, row) == 0) cols.push_back(x);
    return cols;
}

TEST(Code39, OneLetterIsFortyOnePixelsWide) {
    PictureBox* box = PictureBox::make(300, 100);
    _clsBCAT175* bc = barcode();
    ASSERT_EQ(draw39(bc, "A", box), S_OK);
    EXPECT_EQ(box->inner_height(), 56);
    EXPECT_EQ(box->inner_width(), 41);  // ScaleLeft 0: three characters of 13, the white box and one pixel
    auto a = black_columns(box, 5);
    ASSERT_FALSE(a.empty());
    // lower case draws the same bars
    PictureBox* upper = PictureBox::make(300, 100);
    PictureBox* lower = PictureBox::make(300, 100);
    draw39(bc, "ABC", upper);
    draw39(bc, "abc", lower);
    EXPECT_EQ(black_columns(upper, 5), black_columns(lower, 5));
    // characters outside the table take no width
    PictureBox* odd = PictureBox::make(300, 100);
    draw39(bc, "A#@!,", odd);
    EXPECT_EQ(odd->inner_width(), 41);
    // an empty text: height set, cleared, nothing drawn
    PictureBox* empty = PictureBox::make(300, 100);
    ASSERT_EQ(draw39(bc, "", empty), S_OK);
    EXPECT_EQ(empty->inner_height(), 56);
    EXPECT_TRUE(black_columns(empty, 5).empty());
    for (PictureBox* b : {box, upper, lower, odd, empty}) b->Release();
    bc->Release();
}

// An object that is not a picture box: it has none of the members asked for.
class NotABox final : public DispatchObject {
public:
    NotABox() {
        add("Something", Get, [](int, Args&) { return Value(); });
    }
};

TEST(Barcodes, MissingMembersAndNothing) {
    _clsBCAT175* bc = barcode();
    NotABox* other = new NotABox();
    EXPECT_EQ(draw39(bc, "A", other), static_cast<HRESULT>(T2_ERROR_STATUS(438)));
    EXPECT_EQ(draw39(bc, "A", nullptr), static_cast<HRESULT>(T2_ERROR_STATUS(91)));
    BSTR t = SysAllocStringUTF8("AB"), cap = SysAllocStringUTF8(""), face = SysAllocStringUTF8("Courier New");
    IDispatch* p = other;
    LONG back = 0xFFFFFF, fore = 0;
    OLE_COLOR cc = 0;
    SHORT align = 1, disp = 1, style = 2, size = 10, bar = 30, left = 10, top = 10;
    VARIANT r;
    EXPECT_EQ(
        bc->Barcode128Draw(&t, &p, &cap, &back, &fore, &cc, &align, &disp, &style, &size, &face, &bar, &left, &top, &r),
        static_cast<HRESULT>(T2_ERROR_STATUS(438)));
    other->Release();
    // a refused request: the picture is cleared, the message shown, the call returns normally
    PictureBox* box = PictureBox::make(120, 60);
    p = box;
    SysFreeString(t);
    t = SysAllocStringUTF8("\xC3\xA9");  // é
    T2SetMessageBoxHandler(&record_box, nullptr);
    EXPECT_EQ(
        bc->Barcode128Draw(&t, &p, &cap, &back, &fore, &cc, &align, &disp, &style, &size, &face, &bar, &left, &top, &r),
        S_OK);
    T2SetMessageBoxHandler(nullptr, nullptr);
    EXPECT_EQ(last_box_count, 1);
    EXPECT_EQ(last_box_text, "Error(54548):Illegal character for this symbology specified.");
    EXPECT_EQ(r.vt, VT_EMPTY);
    SysFreeString(t);
    SysFreeString(cap);
    SysFreeString(face);
    box->Release();
    bc->Release();
}

}  // namespace
