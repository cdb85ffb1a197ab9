// Image files of the host: bad and hostile input gives a clear error, and a
// failed save leaves whatever was at the target as it was.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <malloc.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "kit/picture.hpp"
#include "platform/gdi/gdi.hpp"
#include "tavolin2/kit.h"

#if defined(__SANITIZE_ADDRESS__)
#define T2_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define T2_TEST_ASAN 1
#endif
#endif

namespace {

using t2::gdi::HGDI;

std::string temp_dir() {
    std::string dir = testing::TempDir() + "/t2-image-io-XXXXXX";
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

// Regression: a 23-byte GIF with a zero-size image descriptor crashed the picture loader.
TEST(ImageIo, TwentyThreeByteGifCrashedTheLoader) {
    const std::string dir = temp_dir();
    const std::string path = dir + "/zero.gif";
    write_bytes(path, {0x47, 0x49, 0x46, 0x38, 0x00, 0x00, 0x00, 0x00, 0xc2, 0x00, 0x00, 0x00,
                       0x60, 0x2c, 0x00, 0x00, 0x00, 0x03, 0x00, 0x54, 0x00, 0x00, 0x00});
    std::string error;
    EXPECT_EQ(kit::load_image(path, error), 0);
    EXPECT_NE(error.find("zero.gif"), std::string::npos) << error;
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

// A PNG file declaring w x h, with an empty image data chunk (CRCs right, so the header is believed).
std::vector<uint8_t> png_header(uint32_t w, uint32_t h) {
    std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto be32 = [](std::vector<uint8_t>& out, uint32_t v) {
        for (int k = 3; k >= 0; --k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
    };
    auto chunk = [&](const char* type, const std::vector<uint8_t>& body) {
        std::vector<uint8_t> c(type, type + 4);
        for (uint8_t b : body) c.push_back(b);
        be32(f, static_cast<uint32_t>(body.size()));
        for (uint8_t b : c) f.push_back(b);
        be32(f, static_cast<uint32_t>(crc32(0, c.data(), static_cast<uInt>(c.size()))));
    };
    std::vector<uint8_t> ihdr;
    be32(ihdr, w);
    be32(ihdr, h);
    for (uint8_t b : {8, 2, 0, 0, 0}) ihdr.push_back(b);  // 8-bit RGB
    chunk("IHDR", ihdr);
    chunk("IDAT", {});
    chunk("IEND", {});
    return f;
}

// Pictures past the size cap, folders, pipes and devices are refused with a message
// before anything is allocated or waited on.
TEST(ImageIo, SizesPastTheCapAndNonFilesAreRefused) {
    const std::string dir = temp_dir();
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const Case cases[] = {
        // a 35-byte GIF declaring a 65535 x 65535 screen and image
        {"huge.gif",
         {'G',  'I',  'F',  '8',  '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0,    0, 0, 0x2C, 0, 0, 0, 0,
          0xFF, 0xFF, 0xFF, 0xFF, 0,   8,   2,    0x4C, 0x01, 0,    0x3B, 0, 0, 0,    0, 0, 0},
         "larger than"},
        // a small screen with a 60000 x 60000 image in it
        {"image.gif",
         {'G', 'I', 'F', '8',  '9',  'a',  2,    0, 2, 0, 0,    0,    0, 0x2C, 0,
          0,   0,   0,   0x60, 0xEA, 0x60, 0xEA, 0, 8, 2, 0x4C, 0x01, 0, 0x3B},
         "larger than"},
        {"huge.png", png_header(65500, 65500), "larger than"},
        {"wide.png", png_header(100000, 1), "larger than"},
        {"empty.gif", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0x3B}, "no size"},
    };
    for (const auto& c : cases) {
        write_bytes(dir + "/" + c.name, c.bytes);
        std::string error;
        EXPECT_EQ(kit::load_image(dir + "/" + c.name, error), 0) << c.name;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.name << ": " << error;
        std::remove((dir + "/" + c.name).c_str());
    }
    mkfifo((dir + "/pipe").c_str(), 0644);
    for (const std::string& name : {dir, dir + "/pipe", std::string("/dev/zero")}) {
        std::string error;
        EXPECT_EQ(kit::load_image(name, error), 0) << name;
        EXPECT_NE(error.find("not an ordinary file"), std::string::npos) << name << ": " << error;
    }
    std::remove((dir + "/pipe").c_str());
    rmdir(dir.c_str());
}

// A small 24-bit bitmap to save.
HGDI small_bitmap() {
    t2::gdi::BITMAPINFO bi{};
    bi.bmiHeader = {40, 40, 30, 1, 24, t2::gdi::BI_RGB, 0, 0, 0, 0, 0};
    int32_t bits = 0;
    return t2::gdi::CreateDIBSection(0, &bi, t2::gdi::DIB_RGB_COLORS, &bits, nullptr, 0);
}

int save_past_the_size_limit(const std::string& path) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{60, 60};
    setrlimit(RLIMIT_FSIZE, &lim);
    HGDI bm = small_bitmap();
    std::string error;
    if (kit::save_surface(bm, path, error)) return 2;
    if (error.find("(error 27)") == std::string::npos) return 3;  // EFBIG, with its number
    return read_text(path) == "old" ? 0 : 4;
}

// Regression: a failed save deleted or truncated what was at the target.
TEST(ImageIo, FailedSaveDeletedTheTarget) {
    const std::string dir = temp_dir();
    HGDI bm = small_bitmap();
    ASSERT_NE(bm, 0);
    std::string error;
    for (const char* name : {"/dev/null", "/dev/full"}) {
        EXPECT_FALSE(kit::save_surface(bm, name, error)) << name;
        struct stat st {};
        ASSERT_EQ(stat(name, &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << name << " is still a device";
    }
    EXPECT_FALSE(kit::save_surface(bm, dir, error));  // a folder
    EXPECT_FALSE(kit::save_surface(bm, dir + "/missing/k.png", error));
    EXPECT_NE(error.find("No such file or directory (error 2)"), std::string::npos) << error;
    for (const char* name : {"/k.png", "/k.bmp"}) {
        const std::string path = dir + name;
        write_bytes(path, {'o', 'l', 'd'});
        EXPECT_EXIT(std::exit(save_past_the_size_limit(path)), ::testing::ExitedWithCode(0), "") << name;
        ASSERT_TRUE(kit::save_surface(bm, path, error)) << error;
        EXPECT_GT(read_text(path).size(), 60u);
        std::remove(path.c_str());
    }
    t2::gdi::DeleteObject(bm);
    rmdir(dir.c_str());
}

// ---- pictures made here, and what the loader gives for them ----

// The pixels of a loaded bitmap as R, G, B bytes, top row first.
std::vector<uint8_t> rgb_of(HGDI bm) {
    t2::gdi::BITMAP info{};
    if (t2::gdi::GetObjectA(bm, sizeof info, &info) != sizeof info) return {};
    const uint8_t* bits = t2::gdi::bitmap_bits(bm);
    std::vector<uint8_t> out;
    for (int y = 0; y < info.bmHeight; ++y) {
        const uint8_t* row = bits + static_cast<size_t>(info.bmHeight - 1 - y) * info.bmWidthBytes;  // bottom up
        for (int x = 0; x < info.bmWidth; ++x) out.insert(out.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
    }
    return out;
}

// Decodes bytes; the pixels as rgb_of gives them, or empty with `error` set.
std::vector<uint8_t> load_rgb(const std::vector<uint8_t>& bytes, std::string& error) {
    HGDI bm = kit::decode_image(bytes, "input", error);
    if (!bm) return {};
    std::vector<uint8_t> rgb = rgb_of(bm);
    t2::gdi::DeleteObject(bm);
    return rgb;
}

uint8_t over_white(unsigned c, unsigned a) { return static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255); }

// A small deterministic generator of sample values.
struct Noise {
    uint32_t state;
    unsigned next(unsigned max) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % (max + 1);
    }
};

void put_be(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int k = bytes - 1; k >= 0; --k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// A PNG picture written with libpng: its samples, and the R, G, B over white it must load as.
struct PngPicture {
    std::vector<uint8_t> file, expected;
};

struct PngCase {
    int type, depth;
    bool interlaced;
    double gamma;  // 0: no gAMA chunk (with one, a cHRM chunk too)
    bool trns;
};

PngPicture make_png(const PngCase& c, int w = 9, int h = 7) {
    const int channels = c.type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                         : c.type == PNG_COLOR_TYPE_RGB      ? 3
                         : c.type == PNG_COLOR_TYPE_RGBA     ? 4
                                                             : 1;
    const unsigned max = (1u << c.depth) - 1;
    Noise noise{static_cast<uint32_t>(c.type * 131 + c.depth * 7 + c.interlaced)};
    std::vector<unsigned> samples(static_cast<size_t>(w) * h * channels);
    for (unsigned& v : samples) v = noise.next(max);
    // The first pixel holds what used to go wrong: 16-bit mid grey, half-transparent red.
    if (c.depth == 16) std::fill(samples.begin(), samples.begin() + std::min(channels, 3), 0x8080u);
    if (c.type == PNG_COLOR_TYPE_RGBA && c.depth == 8)
        std::copy_n(std::vector<unsigned>{255, 0, 0, 128}.begin(), 4, samples.begin());
    std::vector<png_color> palette;
    std::vector<png_byte> palette_alpha;
    if (c.type == PNG_COLOR_TYPE_PALETTE) {
        for (unsigned i = 0; i <= max; ++i)
            palette.push_back({static_cast<png_byte>(noise.next(255)), static_cast<png_byte>(noise.next(255)),
                               static_cast<png_byte>(noise.next(255))});
        for (unsigned i = 0; i <= max; ++i)
            palette_alpha.push_back(static_cast<png_byte>(i % 3 == 0 ? 0 : i % 3 == 1 ? 128 : noise.next(255)));
    }
    // The transparent colour of grey and RGB files: that of the second pixel.
    png_color_16 key{};
    key.gray = key.red = static_cast<png_uint_16>(samples[channels]);
    if (channels == 3) {
        key.green = static_cast<png_uint_16>(samples[channels + 1]);
        key.blue = static_cast<png_uint_16>(samples[channels + 2]);
    }

    PngPicture out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out.file,
        [](png_structp p, png_bytep d, size_t n) {
            auto* f = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            f->insert(f->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(png, info, w, h, c.depth, c.type, c.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (c.trns && !palette.empty())
        png_set_tRNS(png, info, palette_alpha.data(), static_cast<int>(palette_alpha.size()), nullptr);
    if (c.trns && palette.empty()) png_set_tRNS(png, info, nullptr, 0, &key);
    if (c.gamma) {
        png_set_gAMA(png, info, c.gamma);
        png_set_cHRM(png, info, 0.3127, 0.329, 0.64, 0.33, 0.3, 0.6, 0.15, 0.06);
    }
    png_write_info(png, info);
    std::vector<std::vector<png_byte>> rows(h);
    for (int y = 0; y < h; ++y) {
        std::vector<png_byte>& row = rows[y];
        unsigned acc = 0;
        int bits = 0;
        for (int i = 0; i < w * channels; ++i) {
            unsigned v = samples[static_cast<size_t>(y) * w * channels + i];
            if (c.depth >= 8) {
                put_be(row, v, c.depth / 8);
                continue;
            }
            acc = acc << c.depth | v;
            bits += c.depth;
            if (bits == 8) row.push_back(static_cast<png_byte>(acc)), acc = 0, bits = 0;
        }
        if (bits) row.push_back(static_cast<png_byte>(acc << (8 - bits)));
    }
    std::vector<png_bytep> pointers;
    for (auto& r : rows) pointers.push_back(r.data());
    if (c.interlaced) png_set_interlace_handling(png);
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);

    // What the file holds, by the format's own rules: samples by their high byte, low
    // grey depths widened, palette indices looked up, tRNS and alpha over white.
    auto wide = [&](unsigned v) { return c.depth == 16 ? v >> 8 : c.depth == 8 ? v : v * 255 / max; };
    for (int i = 0; i < w * h; ++i) {
        const unsigned* p = &samples[static_cast<size_t>(i) * channels];
        unsigned r, g, b, a = 255;
        if (c.type == PNG_COLOR_TYPE_PALETTE) {
            r = palette[p[0]].red, g = palette[p[0]].green, b = palette[p[0]].blue;
            if (c.trns) a = palette_alpha[p[0]];
        } else if (channels <= 2) {
            r = g = b = wide(p[0]);
            if (channels == 2) a = wide(p[1]);
            if (c.trns && p[0] == key.gray) a = 0;
        } else {
            r = wide(p[0]), g = wide(p[1]), b = wide(p[2]);
            if (channels == 4) a = wide(p[3]);
            if (c.trns && p[0] == key.red && p[1] == key.green && p[2] == key.blue) a = 0;
        }
        out.expected.insert(out.expected.end(), {over_white(r, a), over_white(g, a), over_white(b, a)});
    }
    return out;
}

// Regression: a 44-byte PNG whose tEXt chunk claims 2 GB made libpng allocate and zero
// 2 GB before anything refused it.
TEST(ImageIo, TextChunkOfTwoGigabytesWasAllocated) {
    std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> ihdr = {'I', 'H', 'D', 'R', 0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0};
    put_be(f, 13, 4);
    f.insert(f.end(), ihdr.begin(), ihdr.end());
    put_be(f, static_cast<uint32_t>(crc32(0, ihdr.data(), static_cast<uInt>(ihdr.size()))), 4);
    put_be(f, 0x7FFFFFFF, 4);
    f.insert(f.end(), {'t', 'E', 'X', 't', 'a', 'b', 'c'});
    ASSERT_EQ(f.size(), 44u);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    auto start = std::chrono::steady_clock::now();
    std::string error;
    EXPECT_TRUE(load_rgb(f, error).empty());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    getrusage(RUSAGE_SELF, &after);
    EXPECT_NE(error.find("tEXt chunk of 2147483647 bytes in a file of 44 bytes"), std::string::npos) << error;
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "KB more at the peak";
    EXPECT_LT(seconds, 0.5);
    // An honest 9 MB chunk that libpng keeps is bounded by the file and loads.
    PngPicture small = make_png({PNG_COLOR_TYPE_RGB, 8, false, 0.0, false}, 2, 2);
    std::vector<uint8_t> big = {'p', 'C', 'A', 'L'};
    big.resize(4 + (9 << 20), 'x');
    std::vector<uint8_t> g(small.file.begin(), small.file.begin() + 33);  // signature and IHDR
    put_be(g, static_cast<uint32_t>(big.size() - 4), 4);
    g.insert(g.end(), big.begin(), big.end());
    put_be(g, static_cast<uint32_t>(crc32(0, big.data(), static_cast<uInt>(big.size()))), 4);
    g.insert(g.end(), small.file.begin() + 33, small.file.end());
    EXPECT_EQ(load_rgb(g, error), small.expected) << error;
    // Rows of zeros packed near deflate's highest ratio load; a header claiming more rows
    // than its image data could hold at that ratio is refused before they are allocated.
    png_image zeros{};
    zeros.version = PNG_IMAGE_VERSION;
    zeros.width = zeros.height = 3000;
    zeros.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> grey(size_t{3000} * 3000, 0), packed(1 << 20);
    png_alloc_size_t packed_size = packed.size();
    ASSERT_TRUE(png_image_write_to_memory(&zeros, packed.data(), &packed_size, 0, grey.data(), 0, nullptr));
    packed.resize(packed_size);
    EXPECT_EQ(load_rgb(packed, error).size(), size_t{3000} * 3000 * 3) << packed_size << " bytes: " << error;
    EXPECT_TRUE(load_rgb(png_header(8000, 8000), error).empty());
    EXPECT_NE(error.find("with 0 bytes of image data, too few to hold it"), std::string::npos) << error;
    // Text chunks are skipped, whatever their size within the file.
    std::vector<uint8_t> text = {'t', 'E', 'X', 't', 'k', 0};
    text.resize(4 + (1 << 20), 'y');
    std::vector<uint8_t> t(small.file.begin(), small.file.begin() + 33);
    put_be(t, static_cast<uint32_t>(text.size() - 4), 4);
    t.insert(t.end(), text.begin(), text.end());
    put_be(t, static_cast<uint32_t>(crc32(0, text.data(), static_cast<uInt>(text.size()))), 4);
    t.insert(t.end(), small.file.begin() + 33, small.file.end());
    EXPECT_EQ(load_rgb(t, error), small.expected) << error;
}

std::string png_name(const PngCase& c) {
    static const std::map<int, std::string> kType = {{PNG_COLOR_TYPE_GRAY, "grey"},
                                                     {PNG_COLOR_TYPE_GRAY_ALPHA, "grey+alpha"},
                                                     {PNG_COLOR_TYPE_RGB, "rgb"},
                                                     {PNG_COLOR_TYPE_RGBA, "rgba"},
                                                     {PNG_COLOR_TYPE_PALETTE, "palette"}};
    std::ostringstream s;
    s << kType.at(c.type) << c.depth << (c.interlaced ? "-adam7" : "") << (c.gamma ? "-gama" : "")
      << (c.trns ? "-trns" : "");
    return s.str();
}

// Every colour type at every depth, interlaced or not, with and without gAMA and tRNS.
std::vector<PngCase> png_cases() {
    const std::pair<int, std::vector<int>> kinds[] = {
        {PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}}, {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},   {PNG_COLOR_TYPE_RGB, {8, 16}},
        {PNG_COLOR_TYPE_RGBA, {8, 16}},          {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}},
    };
    std::vector<PngCase> cases;
    for (const auto& [type, depths] : kinds)
        for (int depth : depths)
            for (bool interlaced : {false, true})
                for (int variant = 0; variant < 4; ++variant) {
                    bool trns = variant == 3;
                    if (trns && (type & PNG_COLOR_MASK_ALPHA)) continue;  // tRNS is for grey, RGB and palette
                    cases.push_back({type, depth, interlaced, variant == 1 ? 1.0 : variant == 2 ? 0.45455 : 0.0, trns});
                }
    return cases;
}

// Debian's own interpreter: an earlier python3 on PATH may not see python3-pil.
const char* kPython = "/usr/bin/python3";

bool have_pillow() { return std::system((std::string(kPython) + " -c 'import PIL' 2>/dev/null").c_str()) == 0; }

// Pillow's R, G, B of each file (over white where it has transparency; 16-bit grey,
// which Pillow keeps as 32-bit integers, by its high byte), one line of hex per file.
std::vector<std::vector<uint8_t>> pillow_rgb(const std::vector<std::string>& paths) {
    const std::string script = testing::TempDir() + "/t2-pillow-rgb.py";
    write_bytes(script, [] {
        const std::string text = R"(import sys
from PIL import Image
for path in sys.argv[1:]:
    im = Image.open(path)
    im.load()
    if im.mode.startswith("I"):
        t = im.info.get("transparency")
        px = [(255, 255, 255) if v == t else (v >> 8,) * 3 for v in im.getdata()]
    elif im.mode in ("LA", "RGBA", "PA") or "transparency" in im.info:
        im = im.convert("RGBA")
        px = Image.alpha_composite(Image.new("RGBA", im.size, "white"), im).convert("RGB").getdata()
    else:
        px = im.convert("RGB").getdata()
    print("".join("%02x%02x%02x" % p for p in px))
)";
        return std::vector<uint8_t>(text.begin(), text.end());
    }());
    std::string cmd = std::string(kPython) + " " + script;
    for (const std::string& p : paths) cmd += " '" + p + "'";
    std::vector<std::vector<uint8_t>> out;
    FILE* f = popen(cmd.c_str(), "r");
    if (!f) return out;
    std::string line;
    for (int ch; (ch = std::fgetc(f)) != EOF;) {
        if (ch != '\n') {
            line += static_cast<char>(ch);
            continue;
        }
        std::vector<uint8_t> rgb;
        for (size_t i = 0; i + 1 < line.size(); i += 2)
            rgb.push_back(static_cast<uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16)));
        out.push_back(rgb);
        line.clear();
    }
    pclose(f);
    std::remove(script.c_str());
    return out;
}

// Regression: PNG samples were converted to sRGB through gAMA (a gamma 1.0 file came back
// brighter), 16-bit samples taken as linear light (mid grey 0x8080 became 186) and alpha
// blended over white in linear light ((255,0,0) at alpha 128 became (255,186,186)).
TEST(ImageIo, PngSamplesWereGammaConvertedAndBlendedInLinearLight) {
    int files = 0;
    for (const PngCase& c : png_cases()) {
        PngPicture pic = make_png(c);
        std::string error;
        std::vector<uint8_t> rgb = load_rgb(pic.file, error);
        ASSERT_FALSE(rgb.empty()) << png_name(c) << ": " << error;
        int wrong = 0;
        for (size_t i = 0; i < rgb.size(); ++i) wrong += rgb[i] != pic.expected[i];
        EXPECT_EQ(wrong, 0) << png_name(c) << ": first pixel " << int(rgb[0]) << "," << int(rgb[1]) << ","
                            << int(rgb[2]) << ", expected " << int(pic.expected[0]) << "," << int(pic.expected[1])
                            << "," << int(pic.expected[2]);
        ++files;
    }
    EXPECT_EQ(files, 112);
    // the three probes, spelled out
    std::string error;
    EXPECT_EQ(load_rgb(make_png({PNG_COLOR_TYPE_GRAY, 16, false, 1.0, false}).file, error)[0], 128);
    std::vector<uint8_t> red = load_rgb(make_png({PNG_COLOR_TYPE_RGBA, 8, false, 0.0, false}).file, error);
    EXPECT_EQ((std::vector<uint8_t>(red.begin(), red.begin() + 3)), (std::vector<uint8_t>{255, 127, 127}));
}

// Files whose tRNS key Pillow misreads: grey of 2 and 4 bits (it compares its widened
// samples with the key as stored) and 16-bit RGB (its 8-bit samples with the 16-bit key).
bool pillow_misreads(const PngCase& c) {
    return c.trns && ((c.type == PNG_COLOR_TYPE_GRAY && (c.depth == 2 || c.depth == 4)) ||
                      (c.type == PNG_COLOR_TYPE_RGB && c.depth == 16));
}

std::string temp_file(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    write_bytes(dir + "/" + name, bytes);
    return dir + "/" + name;
}

// A file for the loader and Pillow to read; where Pillow is known to misread it, the
// samples are counted but not required to agree.
struct PeerFile {
    std::string name;
    std::vector<uint8_t> bytes;
    bool misread;
};

// Every sample of every file as Pillow reads it; the counts are printed.
void agree_with_pillow(const char* kind, const std::vector<PeerFile>& files) {
    const std::string dir = temp_dir();
    std::vector<std::string> paths;
    for (const PeerFile& f : files) paths.push_back(temp_file(dir, f.name, f.bytes));
    std::vector<std::vector<uint8_t>> theirs = pillow_rgb(paths);
    ASSERT_EQ(theirs.size(), files.size());
    size_t same = 0, all = 0, files_same = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        std::string error;
        std::vector<uint8_t> ours = load_rgb(files[i].bytes, error);
        size_t n = 0;
        for (size_t k = 0; k < ours.size() && k < theirs[i].size(); ++k) n += ours[k] == theirs[i][k];
        bool whole = !ours.empty() && n == ours.size() && n == theirs[i].size();
        same += n;
        all += ours.size();
        files_same += whole;
        EXPECT_TRUE(whole || files[i].misread)
            << files[i].name << ": " << ours.size() - n << " samples differ " << error;
        std::remove(paths[i].c_str());
    }
    std::printf("%s: %zu of %zu files, %zu of %zu samples as Pillow reads them\n", kind, files_same, files.size(), same,
                all);
    rmdir(dir.c_str());
}

// The loader and Pillow agree on every sample of every PNG kind but those whose tRNS
// key Pillow misreads.
TEST(ImageIo, PngSamplesAgreeWithPillow) {
    if (!have_pillow()) GTEST_SKIP() << "python3-pil is not installed (scripts/deps.sh installs it)";
    std::vector<PeerFile> files;
    for (const PngCase& c : png_cases())
        files.push_back({png_name(c) + ".png", make_png(c, 33, 17).file, pillow_misreads(c)});
    agree_with_pillow("PNG", files);
}

std::string kit_error() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return "";
    BSTR d = nullptr;
    info->GetDescription(&d);
    info->Release();
    std::string text;
    for (BSTR p = d; p && *p; ++p) text += static_cast<char>(*p < 128 ? *p : '?');
    SysFreeString(d);
    return text;
}

// A JPEG written with libjpeg: grey, RGB or CMYK (Adobe-inverted) rows of one colour.
std::vector<uint8_t> make_jpeg(int w, int h, J_COLOR_SPACE space, bool progressive) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(w) * c.input_components);
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i % c.input_components == 0 ? 200 : 60);
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> out(mem, mem + size);
    std::free(mem);
    return out;
}

// A progressive JPEG with its last scan repeated until it has `scans` scans.
std::vector<uint8_t> with_scans(std::vector<uint8_t> jpeg, int scans) {
    size_t last = 0;
    int have = 0;
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) last = i, ++have;  // entropy data stuffs 0xFF as FF 00
    std::vector<uint8_t> scan(jpeg.begin() + static_cast<long>(last), jpeg.end() - 2);
    jpeg.resize(jpeg.size() - 2);
    for (; have < scans; ++have) jpeg.insert(jpeg.end(), scan.begin(), scan.end());
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});
    return jpeg;
}

// Regression: a progressive JPEG of 1,000 scans took 11 s and loaded; past 100 scans a
// file is refused, as an invalid picture (error 481) for the kit's callers.
TEST(ImageIo, ThousandScanJpegTookSecondsAndLoaded) {
    const std::string dir = temp_dir();
    std::vector<uint8_t> ten = make_jpeg(64, 48, JCS_RGB, true);
    std::string error;
    EXPECT_FALSE(load_rgb(ten, error).empty()) << "a progressive file of ordinary scans: " << error;
    EXPECT_FALSE(load_rgb(with_scans(ten, 100), error).empty()) << "100 scans: " << error;
    for (int scans : {101, 1000}) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(load_rgb(with_scans(ten, scans), error).empty()) << scans;
        EXPECT_NE(error.find("more than 100 scans"), std::string::npos) << error;
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
    }
    const std::string path = temp_file(dir, "scans.jpg", with_scans(ten, 1000));
    IDispatch* pic = nullptr;
    EXPECT_EQ(T2LoadPicture(path.c_str(), &pic), T2_ERROR_STATUS(481));
    EXPECT_NE(kit_error().find("Invalid picture: " + path + ": a JPEG file of more than 100 scans"), std::string::npos)
        << kit_error();
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

// Regression: a CMYK JPEG failing after its scan leaked its row buffer (libjpeg's longjmp
// skipped the destructor of the vector holding it).
TEST(ImageIo, CmykJpegFailingAfterItsScanLeakedItsRowBuffer) {
    std::vector<uint8_t> f = make_jpeg(8000, 8, JCS_CMYK, false);
    // a second frame header after the scan: libjpeg fails on it once the rows are read
    size_t sof = 0;
    while (!(f[sof] == 0xFF && f[sof + 1] == 0xC0)) ++sof;
    std::vector<uint8_t> header(f.begin() + static_cast<long>(sof),
                                f.begin() + static_cast<long>(sof + 2 + (f[sof + 2] << 8 | f[sof + 3])));
    f.insert(f.end() - 2, header.begin(), header.end());
    std::string error;
    EXPECT_TRUE(load_rgb(f, error).empty());
    EXPECT_NE(error.find("SOF"), std::string::npos) << error;
    // 32 KB a load: 50 loads leave 1.6 MB behind when the buffer leaks (LeakSanitizer
    // reports it in the sanitizer build, where mallinfo2 counts nothing)
    struct mallinfo2 before = mallinfo2();
    for (int i = 0; i < 50; ++i) load_rgb(f, error);
    struct mallinfo2 after = mallinfo2();
    EXPECT_LT(static_cast<long>(after.uordblks + after.hblkhd) - static_cast<long>(before.uordblks + before.hblkhd),
              256 * 1024);
}

// Regression (found by fuzzing): a JPEG or GIF of a few hundred bytes claiming 11000x11000
// pixels had its rows allocated and filled (790 MB resident for a baseline JPEG).
TEST(ImageIo, TinyFilesClaimingHugePicturesAllocatedTheirRows) {
    auto sized = [](std::vector<uint8_t> f, uint8_t marker) {
        size_t at = 0;
        while (!(f[at] == 0xFF && f[at + 1] == marker)) ++at;
        f[at + 5] = f[at + 7] = 11000 >> 8;
        f[at + 6] = f[at + 8] = 11000 & 255;
        return f;
    };
    std::vector<uint8_t> gif = {'G', 'I',  'F', '8', '9', 'a', 0xF8, 0x2A, 0xF8, 0x2A, 0x80, 0, 0, 0,    0, 0, 255, 255,
                                255, 0x2C, 0,   0,   0,   0,   0xF8, 0x2A, 0xF8, 0x2A, 0,    2, 2, 0x44, 1, 0, 0x3B};
    // found by fuzzing: 270 bytes of TIFF claiming 1804x55303 pixels (2.5 s and 688 MB)
    const std::vector<uint8_t> tiff = {
        0x49, 0x49, 0x2a, 0x00, 0x7c, 0x00, 0x00, 0x00, 0x78, 0x9c, 0x0d, 0xca, 0x21, 0x61, 0x04, 0x30, 0x0c, 0x00,
        0xc0, 0x88, 0x78, 0x3c, 0x5c, 0x11, 0x11, 0x51, 0x3c, 0x1c, 0x11, 0x11, 0x51, 0xfc, 0xb8, 0x22, 0x2a, 0xa2,
        0x22, 0xea, 0x65, 0x3b, 0x70, 0xec, 0x22, 0xea, 0xef, 0xc3, 0x20, 0x99, 0x14, 0xcd, 0x62, 0x73, 0xb8, 0x3c,
        0xe2, 0xc7, 0x67, 0x90, 0x4c, 0x8a, 0x66, 0xb1, 0x39, 0x5c, 0x1e, 0x91, 0x3e, 0x83, 0x64, 0x52, 0x34, 0x8b,
        0xcd, 0xe1, 0xf2, 0x88, 0x5f, 0x9f, 0x41, 0x32, 0x29, 0x9a, 0xc5, 0xe6, 0x70, 0x79, 0x44, 0xfb, 0x0c, 0x92,
        0x49, 0xd1, 0x2c, 0x36, 0x87, 0xcb, 0x23, 0xbe, 0x3e, 0x83, 0x64, 0x52, 0x34, 0x8b, 0xcd, 0xe1, 0xf2, 0x88,
        0xe3, 0x33, 0x48, 0x26, 0x45, 0xb3, 0xd8, 0x1c, 0x2e, 0x8f, 0x7f, 0x01, 0x6d, 0xb6, 0x1d, 0x00, 0x0b, 0x00,
        0x00, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0c, 0x07, 0x00, 0x00, 0x01, 0x01, 0x03, 0x00, 0x01, 0x00,
        0x00, 0x00, 0x07, 0xd8, 0x00, 0x00, 0x02, 0x01, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00, 0x06, 0x01, 0x00, 0x00,
        0x01, 0x03, 0x03, 0x00, 0x09, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x01, 0x00,
        0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x11, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,
        0x15, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x16, 0x01, 0x03, 0x00, 0x01, 0x00,
        0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x17, 0x01, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00, 0x73, 0x00, 0x00, 0x00,
        0x1c, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x52, 0x01, 0x03, 0x00, 0x01, 0x00,
        0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x08, 0x00, 0x08, 0x00, 0x08, 0x00};
    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {tiff, "cannot be held in"},
        {sized(make_jpeg(16, 16, JCS_RGB, false), 0xC0), "cannot be held in"},
        {sized(make_jpeg(16, 16, JCS_RGB, true), 0xC2), "cannot be held in"},
        {gif, "cannot be held in"},
    };
    for (const auto& [bytes, message] : cases) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        std::string error;
        EXPECT_TRUE(load_rgb(bytes, error).empty());
        getrusage(RUSAGE_SELF, &after);
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << error;
    }
    // Cut files of ordinary sizes still load (the rest grey).
    std::vector<uint8_t> jpeg = make_jpeg(256, 256, JCS_RGB, false);
    jpeg.resize(jpeg.size() - 40);
    std::string error;
    EXPECT_FALSE(load_rgb(jpeg, error).empty()) << error;
}

// Regression: libjpeg's warnings (a truncated file, a bogus progression) went to the
// caller's stderr.
TEST(ImageIo, DecoderWarningsWentToStderr) {
    std::vector<uint8_t> jpeg = make_jpeg(64, 64, JCS_RGB, false);
    size_t sos = 0;
    while (!(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA)) ++sos;
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<long>(sos + (jpeg.size() - sos) / 2));
    std::vector<uint8_t> bogus = with_scans(make_jpeg(16, 16, JCS_GRAYSCALE, true), 12);
    std::string error;
    testing::internal::CaptureStderr();
    bool cut_loads = !load_rgb(cut, error).empty();
    bool bogus_loads = !load_rgb(bogus, error).empty();
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(cut_loads) << error;
    EXPECT_TRUE(bogus_loads) << error;
    EXPECT_EQ(printed, "");
}

void put_le(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// A bitmap file: a header kind (12: OS/2 core, 40, 108: V4, 124: V5), its depth, its
// compression (0 or 3, bit masks) and masks, and whether Pillow reads it the same way.
struct BmpCase {
    const char* name;
    uint32_t hsize;
    int bpp;
    uint32_t compression;
    uint32_t masks[4];
    bool alpha_used, pillow;
};

struct BmpPicture {
    std::vector<uint8_t> file, expected;
};

// Its pixels are `values` (palette indices, 0xRRGGBB or raw 16- and 32-bit pixels),
// top row first; random when empty.
BmpPicture make_bmp(const BmpCase& c, int w, int h, std::vector<uint32_t> values = {}) {
    Noise noise{static_cast<uint32_t>(c.hsize * 31 + c.bpp)};
    std::vector<uint8_t> palette;  // R, G, B
    if (c.bpp <= 8)
        for (int i = 0; i < (1 << c.bpp) * 3; ++i) palette.push_back(static_cast<uint8_t>(noise.next(255)));
    uint32_t alpha = c.masks[3];
    if (values.empty())
        for (int i = 0; i < w * h; ++i) {
            uint32_t v = c.bpp <= 8 ? noise.next((1u << c.bpp) - 1) : noise.next(0xFFFFFF) | noise.next(255) << 24;
            if (c.bpp == 16) v &= 0xFFFF;
            if (alpha && !c.alpha_used) v &= ~alpha;
            values.push_back(v);
        }
    bool core = c.hsize == 12;
    std::vector<uint8_t> info;
    if (core) {
        put_le(info, 12, 4), put_le(info, w, 2), put_le(info, h, 2), put_le(info, 1, 2), put_le(info, c.bpp, 2);
    } else {
        for (uint32_t v : {c.hsize, static_cast<uint32_t>(w), static_cast<uint32_t>(h)}) put_le(info, v, 4);
        put_le(info, 1, 2), put_le(info, c.bpp, 2);
        for (uint32_t v : {c.compression, 0u, 2835u, 2835u, 0u, 0u}) put_le(info, v, 4);
        if (c.hsize > 40)
            for (uint32_t m : c.masks) put_le(info, m, 4);
        info.resize(c.hsize, 0);
        if (c.hsize == 40 && c.compression == 3)
            for (int i = 0; i < 3; ++i) put_le(info, c.masks[i], 4);
    }
    for (size_t i = 0; i < palette.size(); i += 3) {
        info.insert(info.end(), {palette[i + 2], palette[i + 1], palette[i]});
        if (!core) info.push_back(0);
    }
    const size_t stride = ((static_cast<size_t>(w) * c.bpp + 31) / 32) * 4;
    BmpPicture out;
    out.file = {'B', 'M'};
    put_le(out.file, static_cast<uint32_t>(14 + info.size() + stride * h), 4);
    put_le(out.file, 0, 4);
    put_le(out.file, static_cast<uint32_t>(14 + info.size()), 4);
    out.file.insert(out.file.end(), info.begin(), info.end());
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row;
        uint32_t acc = 0;
        int bits = 0;
        for (int x = 0; x < w; ++x) {
            uint32_t v = values[static_cast<size_t>(y) * w + x];
            if (c.bpp >= 16) {
                put_le(row, v, c.bpp / 8);
            } else if (c.bpp == 24) {
                row.insert(row.end(),
                           {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16)});
            } else {
                acc = acc << c.bpp | v;
                bits += c.bpp;
                if (bits == 8) row.push_back(static_cast<uint8_t>(acc)), acc = 0, bits = 0;
            }
        }
        if (bits) row.push_back(static_cast<uint8_t>(acc << (8 - bits)));
        row.resize(stride, 0);
        out.file.insert(out.file.end(), row.begin(), row.end());
    }
    // Channels widened as Pillow widens them (v * 255 / max); alpha over white when any
    // pixel has some.
    uint32_t m[4] = {c.masks[0], c.masks[1], c.masks[2], c.masks[3]};
    if (c.compression == 0 && c.bpp == 16) m[0] = 0x7C00, m[1] = 0x3E0, m[2] = 0x1F, m[3] = 0;
    if (c.compression == 0 && c.bpp == 32) m[0] = 0xFF0000, m[1] = 0xFF00, m[2] = 0xFF, m[3] = 0;
    auto channel = [](uint32_t v, uint32_t mask) -> unsigned {
        if (!mask) return 0;
        int shift = 0;
        while (!((mask >> shift) & 1)) ++shift;
        return static_cast<unsigned>(uint64_t{(v & mask) >> shift} * 255 / (mask >> shift));
    };
    for (uint32_t v : values) {
        unsigned r, g, b, a = c.alpha_used ? channel(v, m[3]) : 255;
        if (c.bpp <= 8)
            r = palette[v * 3], g = palette[v * 3 + 1], b = palette[v * 3 + 2];
        else if (c.bpp == 24)
            r = v >> 16 & 255, g = v >> 8 & 255, b = v & 255;
        else
            r = channel(v, m[0]), g = channel(v, m[1]), b = channel(v, m[2]);
        out.expected.insert(out.expected.end(), {over_white(r, a), over_white(g, a), over_white(b, a)});
    }
    return out;
}

const BmpCase kBmpCases[] = {
    {"rgb555", 40, 16, 0, {}, false, true},
    {"bitfields555", 40, 16, 3, {0x7C00, 0x3E0, 0x1F, 0}, false, true},
    {"bitfields565", 40, 16, 3, {0xF800, 0x7E0, 0x1F, 0}, false, true},
    {"bitfields565-v4", 108, 16, 3, {0xF800, 0x7E0, 0x1F, 0}, false, true},
    // Pillow reads no alpha from 16-bit files
    {"bitfields1555-v5", 124, 16, 3, {0x7C00, 0x3E0, 0x1F, 0x8000}, true, false},
    {"bitfields1555-v5-alpha-unused", 124, 16, 3, {0x7C00, 0x3E0, 0x1F, 0x8000}, false, true},
    {"bitfields444-v5", 124, 16, 3, {0xF00, 0xF0, 0xF, 0}, false, false},
    {"rgb32", 40, 32, 0, {}, false, true},
    {"bitfields-rgbx", 40, 32, 3, {0xFF000000, 0xFF0000, 0xFF00, 0}, false, true},
    {"bitfields-bgra-v5", 124, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, true, true},
    {"os2-1", 12, 1, 0, {}, false, true},
    {"os2-4", 12, 4, 0, {}, false, true},
    {"os2-8", 12, 8, 0, {}, false, true},
    {"os2-24", 12, 24, 0, {}, false, true},
    {"rgb4", 40, 4, 0, {}, false, true},
    {"rgb24-v5", 124, 24, 0, {}, false, true},
};

// Regression: 16-bit bitmaps (5-5-5, 5-6-5, bit masks, alpha in V4/V5 headers) and OS/2
// bitmaps (12-byte header, 3-byte colour table entries) were refused as unsupported.
TEST(ImageIo, SixteenBitAndOs2BitmapsWereRefused) {
    for (const BmpCase& c : kBmpCases) {
        BmpPicture pic = make_bmp(c, 13, 5);
        std::string error;
        EXPECT_TRUE(load_rgb(pic.file, error) == pic.expected) << c.name << ": " << error;
    }
    // A bad mask, a depth an OS/2 header cannot have, a table running into nothing.
    BmpCase gaps{"gaps", 40, 16, 3, {0x7C0F, 0x3E0, 0x1F, 0}, false, false};
    BmpCase wide{"wide", 40, 16, 3, {0x1F0000, 0x3E0, 0x1F, 0}, false, false};
    BmpCase os2_16{"os2-16", 12, 16, 0, {}, false, false};
    const std::pair<std::vector<uint8_t>, const char*> refused[] = {
        {make_bmp(gaps, 4, 4).file, "bad bit masks"},
        {make_bmp(wide, 4, 4).file, "bad bit masks"},
        {make_bmp(os2_16, 4, 4).file, "unsupported bitmap"},
        {make_bmp(kBmpCases[1], 4, 4).file, "truncated"},
    };
    for (auto [bytes, message] : refused) {
        if (std::string(message) == "truncated") bytes.resize(60);  // the masks, no pixels
        std::string error;
        EXPECT_TRUE(load_rgb(bytes, error).empty()) << message;
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

// The bitmap kinds Pillow reads agree with it sample for sample; each 16-bit layout
// with every one of its 65,536 pixels.
TEST(ImageIo, BitmapsAgreeWithPillow) {
    if (!have_pillow()) GTEST_SKIP() << "python3-pil is not installed (scripts/deps.sh installs it)";
    std::vector<uint32_t> every(65536);
    for (uint32_t i = 0; i < every.size(); ++i) every[i] = i;
    std::vector<PeerFile> files;
    for (const BmpCase& c : kBmpCases) {
        if (!c.pillow) continue;
        files.push_back({std::string(c.name) + ".bmp", make_bmp(c, 21, 9).file, false});
        if (c.bpp == 16 && !c.masks[3])
            files.push_back({std::string(c.name) + "-every.bmp", make_bmp(c, 256, 256, every).file, false});
    }
    agree_with_pillow("BMP", files);
}

// A 2x2 grey TIFF written by hand; with `unknown` it holds a tag libtiff warns about.
std::vector<uint8_t> make_tiff(bool unknown) {
    std::vector<std::pair<uint16_t, uint32_t>> tags = {{256, 2}, {257, 2}, {258, 8}, {259, 1}, {262, 1},
                                                       {273, 0}, {277, 1}, {278, 2}, {279, 4}};
    if (unknown) tags.push_back({65000, 7});
    std::vector<uint8_t> f = {'I', 'I', 42, 0};
    put_le(f, 8, 4);
    put_le(f, static_cast<uint32_t>(tags.size()), 2);
    const uint32_t pixels = static_cast<uint32_t>(8 + 2 + tags.size() * 12 + 4);
    for (auto [tag, value] : tags) {
        put_le(f, tag, 2);
        put_le(f, tag == 273 ? 4 : 3, 2);  // LONG for the strip offset, SHORT otherwise
        put_le(f, 1, 4);
        put_le(f, tag == 273 ? pixels : value, 4);
    }
    put_le(f, 0, 4);
    f.insert(f.end(), {0, 85, 170, 255});
    return f;
}

int tiff_calls = 0;
void count_tiff(const char*, const char*, va_list) { ++tiff_calls; }

// Regression: the loader set libtiff's error and warning handlers for the whole process on
// every TIFF it read.  It leaves the process's handlers alone and uncalled, and keeps
// libtiff's text as its message.
TEST(ImageIo, TiffHandlersWereSetForTheWholeProcess) {
    TIFFErrorHandler old_error = TIFFSetErrorHandler(count_tiff);
    TIFFErrorHandler old_warning = TIFFSetWarningHandler(count_tiff);
    tiff_calls = 0;
    std::string error;
    EXPECT_EQ(load_rgb(make_tiff(true), error),
              (std::vector<uint8_t>{0, 0, 0, 85, 85, 85, 170, 170, 170, 255, 255, 255}))
        << error;
    std::vector<uint8_t> bad = make_tiff(false);
    bad[4] = 200;  // the directory past the end
    EXPECT_TRUE(load_rgb(bad, error).empty());
    EXPECT_NE(error.find("input: "), std::string::npos);
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
    EXPECT_EQ(TIFFSetErrorHandler(old_error), count_tiff);
    EXPECT_EQ(TIFFSetWarningHandler(old_warning), count_tiff);
    EXPECT_EQ(tiff_calls, 0);
}

// One small file of every format the loader's table names.
std::map<std::string, std::vector<uint8_t>> format_samples() {
    uint8_t* webp = nullptr;
    const uint8_t rgb[12] = {255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255};
    size_t n = WebPEncodeLosslessRGB(rgb, 2, 2, 6, &webp);
    std::vector<uint8_t> webp_file(webp, webp + n);
    WebPFree(webp);
    return {
        {"PNG", make_png({PNG_COLOR_TYPE_RGB, 8, false, 0.0, false}, 2, 2).file},
        {"JPEG", make_jpeg(8, 8, JCS_RGB, false)},
        {"GIF", {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 255,  255, 255, 0,   0,
                 0,   0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 1,   0,   0x3B}},
        {"BMP", make_bmp(kBmpCases[0], 2, 2).file},
        {"WebP", webp_file},
        {"TIFF", make_tiff(false)},
    };
}

// Every row of the loader's table has a sample here that loads, and the refusal of an
// unknown file and T2PictureFormats name every row.
TEST(ImageIo, EveryFormatOfTheTableLoadsAndIsNamed) {
    const auto samples = format_samples();
    std::string unknown;
    EXPECT_EQ(kit::decode_image({'n', 'o', 'n', 'e', ' ', 'o', 'f', ' ', 't', 'h', 'e', 'm'}, "x", unknown), 0);
    const std::vector<std::string> names = kit::picture_format_names();
    EXPECT_GE(names.size(), 6u);
    for (const std::string& name : names) {
        auto it = samples.find(name);
        ASSERT_NE(it, samples.end()) << "no sample file for " << name;
        std::string error;
        EXPECT_FALSE(load_rgb(it->second, error).empty()) << name << ": " << error;
        EXPECT_NE(unknown.find(name), std::string::npos) << unknown;
        EXPECT_NE(std::string(T2PictureFormats()).find(name), std::string::npos) << T2PictureFormats();
    }
    EXPECT_EQ(std::string(T2PictureFormats()), kit::picture_formats());
}

// Fills the address space to `spare` bytes past what the process has mapped now.
void limit_address_space(size_t spare) {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    statm >> pages;
    rlimit lim{};
    lim.rlim_cur = lim.rlim_max = pages * static_cast<size_t>(sysconf(_SC_PAGESIZE)) + spare;
    setrlimit(RLIMIT_AS, &lim);
}

// Regression: no memory for the bitmap of a decoded picture (CreateDIBSection failing)
// was reported as error 481, an invalid picture, instead of 7, out of memory.
TEST(ImageIo, NoMemoryForTheBitmapWasAnInvalidPicture) {
#ifdef T2_TEST_ASAN
    GTEST_SKIP() << "address space limits do not work under AddressSanitizer";
#endif
    // 8000 x 8000 of colour 0 in a run-length file of a few bytes: 64 MB of indices and
    // 192 MB of rows while decoding, then 192 MB more for the bitmap
    const std::string dir = temp_dir();
    std::vector<uint8_t> f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54 + 8, 0, 0, 0};
    for (uint32_t v : {40u, 8000u, 8000u}) put_le(f, v, 4);
    put_le(f, 1, 2), put_le(f, 8, 2);
    for (uint32_t v : {1u, 0u, 0u, 0u, 2u, 0u}) put_le(f, v, 4);
    f.insert(f.end(), {0, 0, 0, 0, 255, 255, 255, 0, 0, 1});  // two colours, then the end of the picture
    const std::string path = temp_file(dir, "big.bmp", f);
    EXPECT_EXIT(
        {
            limit_address_space(size_t{330} << 20);
            IDispatch* pic = nullptr;
            HRESULT hr = T2LoadPicture(path.c_str(), &pic);
            const std::string text = kit_error();
            std::fprintf(stderr, "%08x %s\n", static_cast<unsigned>(hr), text.c_str());
            std::exit(hr == T2_ERROR_STATUS(7) && text.find("Out of memory") == 0 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "out of memory for a 8000x8000 bitmap");
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

}  // namespace
