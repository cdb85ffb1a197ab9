// Every GIF we write decodes with giflib (DGifSlurp) and with Pillow to exactly
// the colour table we wrote and, per pixel, the index of the nearest table
// colour (found here by a straight search, lowest index on ties).
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <random>

#include "support/pictures.hpp"
#include "support/recorder.hpp"
#include "support/files.hpp"

using namespace t2;
using namespace t2test;

namespace {

// The indices the file must hold: each pixel's nearest colour of the written table.
std::vector<uint8_t> expected_indices(int w, int h, const std::function<uint32_t(int, int)>& f,
                                      const std::vector<uint8_t>& file) {
    std::vector<gdi::RGBQUAD> table(256);
    for (int k = 0; k < 256; ++k) table[k] = {file[13 + 3 * k + 2], file[13 + 3 * k + 1], file[13 + 3 * k], 0};
    std::vector<uint8_t> out(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c = f(x, y);
            out[static_cast<size_t>(y) * w + x] =
                static_cast<uint8_t>(gdi::nearest_color_index(table.data(), 256, static_cast<uint8_t>(c >> 16),
                                                              static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)));
        }
    return out;
}

struct Case {
    const char* name;
    int w, h;
    bool best;
    std::function<uint32_t(int, int)> f;
};

std::vector<Case> cases() {
    auto random = [](uint32_t seed) {
        return [seed](int x, int y) {
            uint32_t v = (static_cast<uint32_t>(x) * 2654435761u) ^ (static_cast<uint32_t>(y) * 40503u + seed);
            v ^= v >> 13;
            v *= 0x5bd1e995u;
            return (v ^ (v >> 15)) & 0xFFFFFFu;
        };
    };
    auto photo = [](int x, int y) {
        int r = static_cast<int>(128 + 100 * std::sin(x * 0.013 + y * 0.004)),
            g = static_cast<int>(120 + 90 * std::cos(y * 0.021 - x * 0.007)),
            b = static_cast<int>(110 + 80 * std::sin((x + y) * 0.017)) + ((x * 7 + y * 13) % 9) - 4;
        return static_cast<uint32_t>((std::clamp(r, 0, 255) << 16) | (std::clamp(g, 0, 255) << 8) |
                                     std::clamp(b, 0, 255));
    };
    // sixteen colours of the fixed table, at random: the string table fills and restarts within the row
    auto sixteen = [](int x, int y) {
        static const uint32_t colours[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                             0x008080, 0xC0C0C0, 0x330000, 0x660000, 0x990000, 0xCC0000,
                                             0x003300, 0x080808, 0xF8F8F8, 0xFFFFFF};
        uint32_t v = static_cast<uint32_t>(x) * 2246822519u + static_cast<uint32_t>(y) * 3266489917u;
        v ^= v >> 15;
        return colours[(v * 668265263u >> 28) & 15];
    };
    std::vector<Case> all;
    for (int w : {1, 2, 255, 256, 1000, 2000}) {
        all.push_back({"random", w, 3, false, random(static_cast<uint32_t>(w))});
        all.push_back({"photo", w, 4, true, photo});
    }
    all.push_back({"photo", 333, 77, false, photo});
    all.push_back({"random-row-2000", 2000, 1, false, sixteen});
    all.push_back({"random-best", 64, 64, true, random(7)});
    return all;
}

std::string save(const Case& c, int n) {
    gdi::HGDI bm = make_bitmap(c.w, c.h, c.f);
    HandlePicture pic(bm);
    auto gif = create(CLSID_GIF).query<_GIF>(IID__GIF);
    VARIANT q;
    VariantInit(&q);
    q.vt = VT_BOOL;
    q.boolVal = c.best ? VARIANT_TRUE : VARIANT_FALSE;
    gif->put_BestQuality(q);
    std::string path = testing::TempDir() + "/t2-ext-" + std::to_string(n) + ".gif";
    Bstr name(from_utf8(path));
    LONG hdc = 0;
    VARIANT_BOOL trans = VARIANT_FALSE, ok = VARIANT_FALSE;
    EXPECT_EQ(gif->SaveGIF(&pic, name.get(), &hdc, &trans, 0, &ok), S_OK);
    EXPECT_TRUE(ok);
    gdi::DeleteObject(bm);
    return path;
}

TEST(Giflib, DecodesEveryFileToTheIndicesAndTableWeWrote) {
    int n = 0;
    for (const Case& c : cases()) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.w) + "x" + std::to_string(c.h));
        std::string path = save(c, n++);
        auto file = t2test::read_bytes(path);
        int error = 0;
        GifFileType* g = DGifOpenFileName(path.c_str(), &error);
        ASSERT_NE(g, nullptr) << GifErrorString(error);
        ASSERT_EQ(DGifSlurp(g), GIF_OK) << GifErrorString(g->Error);
        ASSERT_EQ(g->ImageCount, 1);
        EXPECT_EQ(g->SWidth, c.w);
        EXPECT_EQ(g->SHeight, c.h);
        ASSERT_NE(g->SColorMap, nullptr);
        ASSERT_EQ(g->SColorMap->ColorCount, 256);
        for (int k = 0; k < 256; ++k) {
            EXPECT_EQ(g->SColorMap->Colors[k].Red, file[13 + 3 * k]);
            EXPECT_EQ(g->SColorMap->Colors[k].Blue, file[13 + 3 * k + 2]);
        }
        auto expected = expected_indices(c.w, c.h, c.f, file);
        const SavedImage& im = g->SavedImages[0];
        ASSERT_EQ(im.ImageDesc.Width * im.ImageDesc.Height, static_cast<int>(expected.size()));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), im.RasterBits));
        DGifCloseFile(g, &error);
    }
}

TEST(Pillow, DecodesEveryFileToTheIndicesAndTableWeWrote) {
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-pil is not installed (scripts/deps.sh installs it)";
    int n = 100;
    for (const Case& c : cases()) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.w) + "x" + std::to_string(c.h));
        std::string path = save(c, n++);
        auto file = t2test::read_bytes(path);
        auto expected = expected_indices(c.w, c.h, c.f, file);
        std::string raw = path + ".raw";
        std::ofstream(raw, std::ios::binary)
            .write(reinterpret_cast<const char*>(expected.data()), static_cast<std::streamsize>(expected.size()));
        std::string script =
            "from PIL import Image\n"
            "im = Image.open('" +
            path +
            "')\n"
            "data = open('" +
            path +
            "', 'rb').read()\n"
            "ok = im.mode == 'P' and im.tobytes() == open('" +
            raw +
            "', 'rb').read() and bytes(im.getpalette()[:768]) == data[13:781]\n"
            "print('ok' if ok else 'mismatch')\n";
        std::string cmd = "/usr/bin/python3 -c \"" + script + "\"";
        FILE* p = popen(cmd.c_str(), "r");
        char buf[64] = {};
        size_t got = fread(buf, 1, sizeof buf - 1, p);
        pclose(p);
        EXPECT_EQ(std::string(buf, got), "ok\n");
    }
}

}  // namespace
