// Files we write, opened by a peer: Pillow (Debian's python3-pil) reads the
// bitmap files of cDIBSection.SavePicture and the host's PNG output to exactly
// the pixels we wrote.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/pictures.hpp"

using namespace t2;
using namespace t2test;

namespace {

// Debian's own interpreter: an earlier python3 on PATH may not see python3-pil.
const char* kPython = "/usr/bin/python3";

bool have_pillow() { return std::system((std::string(kPython) + " -c 'import PIL' 2>/dev/null").c_str()) == 0; }

std::string run_python(const std::string& script) {
    std::string cmd = std::string(kPython) + " -c '" + script + "'";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

uint32_t pattern(int x, int y) { return static_cast<uint32_t>((x * 7919 + y * 104729) * 2654435761u) & 0xFFFFFFu; }

TEST(Pillow, ReadsOurBitmapFilesPixelForPixel) {
    if (!have_pillow()) GTEST_SKIP() << "python3-pil is not installed (scripts/deps.sh installs it)";
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {3, 2}, {17, 5}, {64, 33}}) {
        auto d = make_section(w, h, pattern);
        std::string path = testing::TempDir() + "/t2-pillow-" + std::to_string(w) + ".bmp";
        Bstr name(from_utf8(path));
        VARIANT_BOOL ok = VARIANT_FALSE;
        ASSERT_EQ(d->SavePicture(name.get(), &ok), S_OK);
        ASSERT_TRUE(ok);
        // Pillow prints every pixel as RRGGBB, row by row from the top
        std::string out =
            run_python("from PIL import Image\nim = Image.open(\"" + path +
                       "\").convert(\"RGB\")\nprint(im.size[0], im.size[1])\n"
                       "print(\"\".join(\"%02X%02X%02X\" % im.getpixel((x, y)) for y in range(im.size[1]) "
                       "for x in range(im.size[0])))");
        std::string expected = std::to_string(w) + " " + std::to_string(h) + "\n";
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "%06X", pattern(x, y));
                expected += hex;
            }
        EXPECT_EQ(out, expected + "\n") << w << "x" << h;
    }
}

}  // namespace
