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

#include "host/picture.hpp"

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
    EXPECT_EQ(host::load_image(path, error), 0);
    EXPECT_NE(error.find("zero.gif"), std::string::npos) << error;
    std::remove(path.c_str());
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
    if (host::save_surface(bm, path, error)) return 2;
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
        EXPECT_FALSE(host::save_surface(bm, name, error)) << name;
        EXPECT_NE(error.find("(error "), std::string::npos) << error;
        struct stat st{};
        ASSERT_EQ(stat(name, &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << name << " is still a device";
    }
    EXPECT_FALSE(host::save_surface(bm, dir, error));  // a folder
    EXPECT_FALSE(host::save_surface(bm, dir + "/missing/k.png", error));
    EXPECT_NE(error.find("No such file or directory (error 2)"), std::string::npos) << error;
    for (const char* name : {"/k.png", "/k.bmp"}) {
        const std::string path = dir + name;
        write_bytes(path, {'o', 'l', 'd'});
        EXPECT_EXIT(std::exit(save_past_the_size_limit(path)), ::testing::ExitedWithCode(0), "") << name;
        ASSERT_TRUE(host::save_surface(bm, path, error)) << error;
        EXPECT_GT(read_text(path).size(), 60u);
        std::remove(path.c_str());
    }
    t2::gdi::DeleteObject(bm);
    rmdir(dir.c_str());
}

}  // namespace
