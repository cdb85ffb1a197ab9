// The bitmap file writer: exact bytes, sizes, replacement, and error 17.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include "support/pictures.hpp"
#include "support/files.hpp"

using namespace t2;
using namespace t2test;

namespace {

bool save(_cDIBSection* d, const std::string& path, HRESULT* status = nullptr) {
    Bstr name(from_utf8(path));
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = d->SavePicture(name.get(), &ok);
    if (status) *status = hr;
    return ok != 0;
}

TEST(BmpWriter, OnePixelFileByteForByte) {
    auto d = make_section(1, 1, [](int, int) { return 0x001E140Au; });  // blue 10, green 20, red 30
    LONG dib = 0;
    d->get_hDib(&dib);
    gdi::bitmap_bits(dib, 4)[3] = 0x5A;  // the padding byte goes out as it is in memory
    std::string path = testing::TempDir() + "/t2-one.bmp";
    ASSERT_TRUE(save(d.get(), path));
    const std::vector<uint8_t> expected = {
        'B', 'M', 58, 0,   0, 0, 0, 0, 0, 0, 54, 0, 0, 0,         // file header
        40,  0,   0,  0,   1, 0, 0, 0, 1, 0, 0,  0, 1, 0, 24, 0,  // size, width, height, planes, bits
        0,   0,   0,  0,   4, 0, 0, 0,                            // compression, image size
        0,   0,   0,  0,   0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0,  // resolution and colours: zero
        10,  20,  30, 0x5A};
    EXPECT_EQ(t2test::read_bytes(path), expected);
}

TEST(BmpWriter, RowsBottomUpAndFilesReplaced) {
    auto d = make_section(3, 2, [](int x, int y) { return static_cast<uint32_t>(y * 100 + x); });
    std::string path = testing::TempDir() + "/t2-three.bmp";
    {
        std::ofstream big(path, std::ios::binary);
        big << std::string(5000, 'x');
    }
    ASSERT_TRUE(save(d.get(), path));
    auto bytes = t2test::read_bytes(path);
    ASSERT_EQ(bytes.size(), 78u);  // 54 + 2 rows of 12
    EXPECT_EQ(bytes[54], 100);     // the picture's bottom row comes first
    EXPECT_EQ(bytes[66], 0);
    EXPECT_EQ(bytes[57], 101);
}

TEST(BmpWriter, AMissingFolderIsErrorSeventeenWithThePlatformText) {
    auto d = make_section(2, 2, [](int, int) { return 0u; });
    HRESULT hr = S_OK;
    EXPECT_FALSE(save(d.get(), testing::TempDir() + "/no-such-folder/x.bmp", &hr));
    ASSERT_EQ(hr, static_cast<HRESULT>(T2_ERROR_STATUS(17)));
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    Bstr description, source, expected;
    info->GetDescription(description.out());
    info->GetSource(source.out());
    info->Release();
    d->ApiError(3, expected.out());  // the path was not found
    EXPECT_EQ(description.str(), expected.str());
    EXPECT_EQ(source.str(), u"tavolin2.cDIBSection256");
}

// Regression: a failed save deleted or truncated what was at the target.
int save_past_the_size_limit(const std::string& path) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{4000, 4000};
    setrlimit(RLIMIT_FSIZE, &lim);
    auto d = make_section(64, 64, [](int, int) { return 0u; });
    HRESULT hr = E_FAIL;
    if (save(d.get(), path, &hr)) return 2;
    if (hr != S_OK) return 3;  // no error: the result says it
    return t2test::read_bytes(path) == std::vector<uint8_t>{'o', 'l', 'd'} ? 0 : 4;
}

TEST(BmpWriter, FailedSaveTruncatedTheTarget) {
    std::string path = testing::TempDir() + "/t2-kept.bmp";
    std::ofstream(path, std::ios::binary) << "old";
    EXPECT_EXIT(std::exit(save_past_the_size_limit(path)), ::testing::ExitedWithCode(0), "");
    // a device is not an ordinary file: refused as a file that cannot be created, and left alone
    auto d = make_section(2, 2, [](int, int) { return 0u; });
    for (const char* device : {"/dev/full", "/dev/null"}) {
        HRESULT hr = S_OK;
        EXPECT_FALSE(save(d.get(), device, &hr));
        EXPECT_EQ(hr, static_cast<HRESULT>(T2_ERROR_STATUS(17))) << device;
    }
    // a name holding a NUL would reach another file
    HRESULT hr = S_OK;
    EXPECT_FALSE(save(d.get(), path + std::string(1, '\0') + ".x", &hr));
    EXPECT_EQ(hr, static_cast<HRESULT>(T2_ERROR_STATUS(52)));
    EXPECT_EQ(t2test::read_bytes(path).size(), 3u);
}

}  // namespace
