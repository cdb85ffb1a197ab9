// Image files of the host: bad and hostile input gives a clear error, and a
// failed save leaves whatever was at the target as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace
