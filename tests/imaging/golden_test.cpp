// Whole files of the GIF writer against recorded hashes: the benchmark's
// picture and an odd-sized one, with the fixed table and with BestQuality.
// Any change to the nearest-colour rule, the octree's folding or means, or
// the LZW codes shows here as a changed hash.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "../bench/photo.hpp"
#include "support/pictures.hpp"
#include "support/recorder.hpp"

using namespace t2;
using namespace t2test;

namespace {

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

std::vector<uint8_t> saved(gdi::HGDI bitmap, bool best) {
    auto gif = create(CLSID_GIF).query<_GIF>(IID__GIF);
    VARIANT q;
    VariantInit(&q);
    q.vt = VT_BOOL;
    q.boolVal = best ? VARIANT_TRUE : VARIANT_FALSE;
    gif->put_BestQuality(q);
    HandlePicture pic(bitmap);
    const std::string path = testing::TempDir() + "/t2-golden.gif";
    Bstr name(from_utf8(path));
    LONG hdc = 0;
    VARIANT_BOOL use = VARIANT_FALSE, ok = VARIANT_FALSE;
    EXPECT_EQ(gif->SaveGIF(&pic, name.get(), &hdc, &use, 0, &ok), S_OK);
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(f), {}};
    std::remove(path.c_str());
    return bytes;
}

struct Golden {
    int width, height;
    bool best;
    size_t size;
    uint64_t hash;
};

TEST(Golden, SavedFilesKeepTheirBytes) {
    const Golden cases[] = {
        {2048, 2048, false, 1234539, 0x94f043f22c93c732ull},
        {2048, 2048, true, 1532884, 0xe4148d4a67955da7ull},
        {1001, 777, false, 274344, 0xc616516492d4e55aull},
        {1001, 777, true, 340522, 0xd6457b10682f5360ull},
    };
    for (const Golden& c : cases) {
        gdi::HGDI bm = photo_like(c.width, c.height);
        auto bytes = saved(bm, c.best);
        gdi::DeleteObject(bm);
        EXPECT_EQ(bytes.size(), c.size) << c.width << "x" << c.height << (c.best ? " BestQuality" : " fixed");
        EXPECT_EQ(fnv1a(bytes), c.hash) << c.width << "x" << c.height << (c.best ? " BestQuality" : " fixed");
    }
}

}  // namespace
