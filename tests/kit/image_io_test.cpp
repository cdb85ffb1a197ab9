// Image files of the host: bad and hostile input gives a clear error, and a
// failed save leaves whatever was at the target as it was.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <zlib.h>

#include "platform/gdi/gdi.hpp"
#include "kit/picture.hpp"

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

}  // namespace
