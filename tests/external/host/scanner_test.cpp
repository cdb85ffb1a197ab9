// A real scanner reads what we draw: zbar (Debian's zbar-tools) decodes every
// Code 128 and Code 39 symbol the host draws to exactly the text drawn.  The
// drawings keep one pixel per module; the saved images are scaled up two times
// by nearest neighbour, as one-pixel modules are at the edge of what zbar resolves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "platform/gdi/gdi.hpp"
#include "kit/picture.hpp"
#include "kit/picture_box.hpp"

using namespace kit;
using namespace t2::gdi;

namespace {

bool have_zbar() { return std::system("zbarimg --version >/dev/null 2>&1") == 0; }

// Saves the box twice as large, pixel for pixel.
std::string save_doubled(PictureBox* box, const std::string& name) {
    Surface s;
    surface_of(box->bitmap(), s);
    HGDI big = CreateCompatibleBitmap(box->hdc(), s.width * 2, s.height * 2);
    Surface b;
    surface_of(big, b);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            std::memcpy(b.top + y * b.step + x * 3, s.top + (y / 2) * s.step + (x / 2) * 3, 3);
    std::string path = testing::TempDir() + "/" + name + ".png", error;
    EXPECT_TRUE(save_surface(big, path, error)) << error;
    DeleteObject(big);
    return path;
}

std::string scan(const std::string& path, const char* symbology) {
    std::string cmd = std::string("zbarimg --nodbus -q --raw -Sdisable -S") + symbology + ".enable " + path;
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string draw128(const std::u16string& text, int n) {
    PictureBox* box = PictureBox::make(static_cast<int>(text.size()) * 11 + 80, 60);
    _clsBCAT175* bc = nullptr;
    T2CoCreateInstance(CLSID_clsBCAT175, IID__clsBCAT175, reinterpret_cast<void**>(&bc));
    BSTR t = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    BSTR cap = SysAllocString(u""), face = SysAllocString(u"Courier New");
    IDispatch* p = box;
    LONG back = 0xFFFFFF, fore = 0;
    OLE_COLOR cc = 0;
    SHORT align = 1, disp = 1, style = 2, size = 10, bar = 30, left = 10, top = 10;
    VARIANT r;
    EXPECT_EQ(
        bc->Barcode128Draw(&t, &p, &cap, &back, &fore, &cc, &align, &disp, &style, &size, &face, &bar, &left, &top, &r),
        S_OK);
    SysFreeString(t);
    SysFreeString(cap);
    SysFreeString(face);
    bc->Release();
    std::string path = save_doubled(box, "t2-scan128-" + std::to_string(n));
    box->Release();
    return path;
}

TEST(Zbar, ReadsCode128AcrossTheWholeSetB) {
    if (!have_zbar()) GTEST_SKIP() << "zbar-tools is not installed (scripts/deps.sh installs it)";
    std::u16string all;
    for (char16_t c = 0x21; c <= 0x7E; ++c) all.push_back(c);
    std::vector<std::u16string> texts;
    for (size_t at = 0; at < all.size(); at += 24) texts.push_back(all.substr(at, 24));
    texts.push_back(u"A B C");  // the space, inside a symbol
    texts.push_back(u"Hello, World 123");
    texts.push_back(u"A\u0010B");  // DLE through SHIFT: the scanner gives the control byte back
    int n = 0;
    for (const auto& text : texts) {
        std::string expected;
        for (char16_t c : text) expected.push_back(static_cast<char>(c));
        EXPECT_EQ(scan(draw128(text, n++), "code128"), expected);
    }
}

TEST(Zbar, ReadsCode39ForEveryTableCharacter) {
    if (!have_zbar()) GTEST_SKIP() << "zbar-tools is not installed (scripts/deps.sh installs it)";
    const std::vector<std::string> texts = {"0123456789", "ABCDEFGHIJKLM", "NOPQRSTUVWXYZ", "-. $/+%", "A1 B2"};
    int n = 0;
    for (const auto& text : texts) {
        PictureBox* box = PictureBox::make(100, 60);
        _clsBCAT175* bc = nullptr;
        T2CoCreateInstance(CLSID_clsBCAT175, IID__clsBCAT175, reinterpret_cast<void**>(&bc));
        BSTR t = SysAllocStringUTF8(text.c_str()), cap = SysAllocStringUTF8(text.c_str());
        IDispatch* p = box;
        VARIANT r;
        ASSERT_EQ(bc->Barcode39Draw(&t, &cap, &p, &r), S_OK);
        SysFreeString(t);
        SysFreeString(cap);
        bc->Release();
        EXPECT_EQ(scan(save_doubled(box, "t2-scan39-" + std::to_string(n++)), "code39"), text);
        box->Release();
    }
}

}  // namespace
