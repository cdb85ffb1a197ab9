// The kit's entry points as a program outside calls them: picture files of
// every format it reads, saving by extension, the error info of failures.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <stdlib.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tavolin2/cpp.hpp"
#include "tavolin2/kit.h"
#include "tavolin2/platform.h"

namespace {

std::string temp_dir() {
    std::string dir = testing::TempDir() + "/t2-kit-XXXXXX";
    return mkdtemp(dir.data()) ? dir : testing::TempDir();
}

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string read_text(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// The colour of a picture's pixel as 0x00BBGGRR, through a device context.
T2COLORREF pixel(IDispatch* picture, int x, int y) {
    LONG handle = t2::Dispatch(picture).get("Handle").to_long();
    T2HGDI dc = T2CreateCompatibleDC(0);
    T2HGDI old = T2SelectObject(dc, handle);
    T2COLORREF c = T2GetPixel(dc, x, y);
    T2SelectObject(dc, old);
    T2DeleteDC(dc);
    return c;
}

// A 4x2 picture: top row red, bottom row blue, as RGB bytes top row first.
std::vector<uint8_t> rgb_4x2() {
    std::vector<uint8_t> p;
    for (int i = 0; i < 4; ++i) p.insert(p.end(), {255, 0, 0});
    for (int i = 0; i < 4; ++i) p.insert(p.end(), {0, 0, 255});
    return p;
}

void write_webp(const std::string& path) {
    std::vector<uint8_t> rgb = rgb_4x2();
    uint8_t* out = nullptr;
    size_t n = WebPEncodeLosslessRGB(rgb.data(), 4, 2, 12, &out);
    write_bytes(path, std::vector<uint8_t>(out, out + n));
    WebPFree(out);
}

void write_tiff(const std::string& path) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 4);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    std::vector<uint8_t> rgb = rgb_4x2();
    TIFFWriteScanline(t, rgb.data(), 0, 0);
    TIFFWriteScanline(t, rgb.data() + 12, 1, 0);
    TIFFClose(t);
}

// A CMYK JPEG with an Adobe marker (inverted inks, as such files store them).
void write_cmyk_jpeg(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = 8;
    c.image_height = 8;
    c.input_components = 4;
    c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    jpeg_start_compress(&c, TRUE);
    // full magenta and yellow ink, no cyan, no black: red; stored inverted
    std::vector<uint8_t> row;
    for (int i = 0; i < 8; ++i) row.insert(row.end(), {255, 0, 0, 255});
    while (c.next_scanline < 8) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

// An 8-bit run-length coded BMP of 4x2: bottom row two runs (2 of colour 1, 2
// of colour 2), top row absolute pixels 2 1 2 1.
void write_rle8_bmp(const std::string& path) {
    std::vector<uint8_t> runs = {2, 1, 2, 2, 0, 0, 0, 4, 2, 1, 2, 1, 0, 0, 0, 1};
    std::vector<uint8_t> f(54 + 3 * 4, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(10, 54 + 12);
    put32(14, 40);
    put32(18, 4);
    put32(22, 2);
    f[26] = 1;
    f[28] = 8;
    put32(30, 1);  // RLE8
    put32(46, 3);
    // colours: 0 black, 1 red, 2 green (blue, green, red, 0)
    uint8_t table[12] = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0};
    std::copy(table, table + 12, f.begin() + 54);
    f.insert(f.end(), runs.begin(), runs.end());
    put32(2, static_cast<uint32_t>(f.size()));
    write_bytes(path, f);
}

std::string error_text() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return "";
    BSTR d = nullptr;
    info->GetDescription(&d);
    info->Release();
    return t2::Bstr::attach(d).utf8();
}

TEST(Kit, LoadsEveryFormatByContent) {
    const std::string dir = temp_dir();
    struct Case {
        const char* name;
        void (*write)(const std::string&);
        T2COLORREF top, bottom;  // pixel (0,0) and (0,1)
        int tolerance;
    };
    const Case cases[] = {
        {"a.webp", write_webp, 0x0000FF, 0xFF0000, 0},
        {"a.tif", write_tiff, 0x0000FF, 0xFF0000, 0},
        {"cmyk.jpg", write_cmyk_jpeg, 0x0000FF, 0x0000FF, 3},
        {"rle.bmp", write_rle8_bmp, 0x00FF00, 0x0000FF, 0},
    };
    auto near = [](T2COLORREF a, T2COLORREF b, int tol) {
        for (int s = 0; s < 24; s += 8)
            if (std::abs(static_cast<int>((a >> s) & 255) - static_cast<int>((b >> s) & 255)) > tol) return false;
        return true;
    };
    for (const Case& c : cases) {
        const std::string path = dir + "/" + c.name;
        c.write(path);
        IDispatch* pic = nullptr;
        ASSERT_EQ(T2LoadPicture(path.c_str(), &pic), S_OK) << c.name << ": " << error_text();
        EXPECT_TRUE(near(pixel(pic, 0, 0), c.top, c.tolerance)) << c.name << std::hex << " " << pixel(pic, 0, 0);
        EXPECT_TRUE(near(pixel(pic, 0, 1), c.bottom, c.tolerance)) << c.name << std::hex << " " << pixel(pic, 0, 1);
        pic->Release();
        std::remove(path.c_str());
    }
    // the run-length picture's absolute row: 2 1 2 1
    write_rle8_bmp(dir + "/rle.bmp");
    IDispatch* pic = nullptr;
    ASSERT_EQ(T2LoadPicture((dir + "/rle.bmp").c_str(), &pic), S_OK);
    EXPECT_EQ(pixel(pic, 1, 0), 0x0000FFu);
    EXPECT_EQ(pixel(pic, 3, 1), 0x00FF00u);
    pic->Release();
    std::remove((dir + "/rle.bmp").c_str());
    rmdir(dir.c_str());
}

TEST(Kit, PictureMembersAndInterface) {
    const std::string dir = temp_dir();
    write_webp(dir + "/a.webp");
    IDispatch* pic = nullptr;
    ASSERT_EQ(T2LoadPicture((dir + "/a.webp").c_str(), &pic), S_OK);
    t2::Dispatch d(pic);
    EXPECT_EQ(d.get("Type").to_long(), 1);
    EXPECT_EQ(d.get("Width").to_long(), 106);  // 4 pixels in HIMETRIC
    EXPECT_EQ(d.get("PixelHeight").to_long(), 2);
    EXPECT_EQ(T2GetObjectType(d.get("Handle").to_long()), T2_OBJ_BITMAP);
    IUnknown* p = nullptr;
    EXPECT_EQ(pic->QueryInterface(IID_IPictureDisp, reinterpret_cast<void**>(&p)), S_OK);
    if (p) p->Release();
    pic->Release();
    std::remove((dir + "/a.webp").c_str());
    rmdir(dir.c_str());
}

TEST(Kit, FailuresNameTheFileAndTheReason) {
    const std::string dir = temp_dir();
    write_bytes(dir + "/junk.png", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});
    write_bytes(dir + "/cut.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0});
    struct Case {
        std::string path;
        HRESULT status;
        const char* text;
    };
    const Case cases[] = {
        {dir + "/missing.png", T2_ERROR_STATUS(53), "missing.png"},
        {dir, T2_ERROR_STATUS(75), "not an ordinary file"},
        {dir + "/junk.png", T2_ERROR_STATUS(481), "junk.png: not a PNG"},
        {dir + "/cut.png", T2_ERROR_STATUS(481), "cut.png"},
    };
    for (const Case& c : cases) {
        IDispatch* pic = reinterpret_cast<IDispatch*>(1);
        EXPECT_EQ(T2LoadPicture(c.path.c_str(), &pic), c.status) << c.path;
        EXPECT_EQ(pic, nullptr);
        EXPECT_NE(error_text().find(c.text), std::string::npos) << error_text();
    }
    for (const char* name : {"/junk.png", "/cut.png"}) std::remove((dir + name).c_str());
    rmdir(dir.c_str());
}

TEST(Kit, SavesByExtensionOnly) {
    const std::string dir = temp_dir();
    IDispatch* box = nullptr;
    ASSERT_EQ(T2CreatePictureBox(30, 20, &box), S_OK);
    t2::Dispatch b(box);
    b.call("Line", 6, 0, 0, 9, 9, 0);  // a filled black box
    struct Case {
        const char* name;
        bool ok;
        const char* magic;
    };
    const Case cases[] = {
        {"a.png", true, "\x89PNG"}, {"a.BMP", true, "BM"},     {"a.gif", true, "GIF8"},
        {"a.jpg", false, nullptr},  {"noext", false, nullptr},
    };
    for (const Case& c : cases) {
        const std::string path = dir + "/" + c.name;
        HRESULT hr = T2SavePicture(box, path.c_str());
        if (!c.ok) {
            EXPECT_EQ(hr, T2_ERROR_STATUS(380)) << c.name;
            EXPECT_NE(error_text().find(c.name), std::string::npos) << error_text();
            EXPECT_NE(access(path.c_str(), F_OK), 0) << c.name << " was written";
            continue;
        }
        ASSERT_EQ(hr, S_OK) << c.name << ": " << error_text();
        EXPECT_EQ(read_text(path).rfind(c.magic, 0), 0u) << c.name;
        // what was saved loads back with the box's pixels
        IDispatch* back = nullptr;
        ASSERT_EQ(T2LoadPicture(path.c_str(), &back), S_OK) << error_text();
        EXPECT_EQ(pixel(back, 5, 5), 0u) << c.name;
        EXPECT_EQ(pixel(back, 20, 15), 0xFFFFFFu) << c.name;
        back->Release();
        std::remove(path.c_str());
    }
    EXPECT_EQ(T2SavePicture(nullptr, (dir + "/x.png").c_str()), T2_ERROR_STATUS(91));
    box->Release();
    rmdir(dir.c_str());
}

TEST(Kit, ListBoxAndSink) {
    IDispatch* list = nullptr;
    ASSERT_EQ(T2CreateListBox(&list), S_OK);
    t2::Dispatch l(list);
    list->Release();
    l.call("AddItem", "b");
    l.call("AddItem", "a", 0);
    EXPECT_EQ(l.get("ListCount").to_long(), 2);
    EXPECT_EQ(l.get("List", 0).to_string(), "a");
    EXPECT_EQ(l.get("ListIndex").to_long(), -1);
    l.put("ListIndex", 1);
    EXPECT_EQ(l.get("Text").to_string(), "b");
    l.call("RemoveItem", 1);
    EXPECT_EQ(l.get("ListIndex").to_long(), -1);
    EXPECT_THROW(l.get("List", 5), t2::ComError);
    EXPECT_THROW(l.put("ListIndex", 7), t2::ComError);
    // Regression: an entry was cut at a NUL character (its text went through a C string);
    // and in this program, linked with the library's internals, to_string() was the
    // internal class's (the UTF-16 bytes of "x\0y" read as "x\0\0")
    l.call("AddItem", std::string("x\0y", 3));
    EXPECT_EQ(l.get("List", 1).to_string(), std::string("x\0y", 3));

    // a sink gets the events of a GIF save and its context back at the end
    struct Seen {
        std::vector<LONG> progress;
        bool released = false;
    } seen;
    auto on = [](void* ctx, DISPID id, DISPPARAMS* dp, VARIANT*) -> HRESULT {
        if (id == 1 && dp->cArgs == 1) static_cast<Seen*>(ctx)->progress.push_back(dp->rgvarg[0].lVal);
        return S_OK;
    };
    IDispatch* sink = nullptr;
    ASSERT_EQ(T2CreateSink(
                  DIID___GIF, on, [](void* ctx) { static_cast<Seen*>(ctx)->released = true; }, &seen, &sink),
              S_OK);
    {
        t2::Dispatch gif("TAVOLIN2.GIF");
        auto cpc = t2::ComPtr<IDispatch>(gif.object()).as<IConnectionPointContainer>(IID_IConnectionPointContainer);
        ASSERT_TRUE(cpc);
        t2::ComPtr<IConnectionPoint> cp;
        ASSERT_EQ(cpc->FindConnectionPoint(DIID___GIF, cp.put()), S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(cp->Advise(sink, &cookie), S_OK);
        IDispatch* box = nullptr;
        ASSERT_EQ(T2CreatePictureBox(16, 16, &box), S_OK);
        const std::string out = temp_dir() + "/p.gif";
        IDispatch* pic = nullptr;
        ASSERT_EQ(
            T2CreatePicture(T2GetCurrentObject(t2::Dispatch(box).get("hDc").to_long(), T2_OBJ_BITMAP), FALSE, &pic),
            S_OK);
        EXPECT_TRUE(gif.call("SaveGIF", pic, out).to_bool());
        cp->Unadvise(cookie);
        pic->Release();
        box->Release();
        std::remove(out.c_str());
    }
    EXPECT_FALSE(seen.progress.empty());
    EXPECT_FALSE(seen.released);
    sink->Release();
    EXPECT_TRUE(seen.released);
}

}  // namespace
