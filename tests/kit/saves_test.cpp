// Saves from several threads at once: the kit's and the library's writers never
// change the process's umask, which every other thread's new files depend on.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "kit/picture.hpp"
#include "platform/files.hpp"

namespace {

// Regression: the kit's writer read the umask by setting it to 0 and back; threads
// creating files meanwhile made them 0666 (7,963 of 8,000 in one run).
TEST(Saves, SavesOnOtherThreadsNeverChangeTheUmask) {
    std::string dir = testing::TempDir() + "/t2-umask-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir.data()));
    const mode_t before = umask(022);
    std::atomic<bool> stop{false};
    std::vector<std::thread> savers;
    savers.emplace_back([&] {  // the kit's whole-file writer (pictures the kit saves)
        std::string error;
        for (int i = 0; !stop; ++i) kit::write_whole_file(dir + "/kit" + std::to_string(i % 20), "data", 4, error);
    });
    savers.emplace_back([&] {  // the library's replacing writer (GIF, bitmap, palette, play list)
        for (int i = 0; !stop; ++i) {
            t2::platform::ReplacingFile f;
            if (f.open(dir + "/lib" + std::to_string(i % 20)) && f.write("data", 4)) f.commit();
        }
    });
    int wrong = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::string path = dir + "/plain" + std::to_string(i);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        ASSERT_GE(fd, 0);
        ::close(fd);
        struct stat st {};
        stat(path.c_str(), &st);
        wrong += (st.st_mode & 0777) != 0644;
    }
    stop = true;
    for (auto& t : savers) t.join();
    EXPECT_EQ(wrong, 0) << "files made while others saved got another mode";
    EXPECT_EQ(umask(before), 022);
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
