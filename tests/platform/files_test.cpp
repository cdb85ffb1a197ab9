// Files: the replacing writer never leaves a half-written target, never touches
// what is not an ordinary file, and reports each failure with its number.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/errtext.hpp"
#include "platform/files.hpp"

using namespace t2::platform;

namespace {

struct TempDir {
    std::string path;
    TempDir() {
        path = testing::TempDir() + "/t2-files-XXXXXX";
        if (!mkdtemp(path.data())) path.clear();
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    int entries() const {  // what the folder holds, temporary files included
        int n = 0;
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* e = readdir(d)) n += e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.');
            closedir(d);
        }
        return n;
    }
};

std::string read_text(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

bool put(const std::string& path, const std::string& text) {
    ReplacingFile f;
    return f.open(path) && f.write(text.data(), text.size()) && f.commit();
}

TEST(ReplacingFile, ReplacesWholeAndKeepsTheMode) {
    TempDir dir;
    const std::string path = dir / "a.txt";
    ASSERT_TRUE(put(path, "first"));
    EXPECT_EQ(read_text(path), "first");
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(put(path, "second, longer"));
    EXPECT_EQ(read_text(path), "second, longer");
    struct stat st {};
    stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.entries(), 1);  // no temporary file stays behind
}

TEST(ReplacingFile, StartingFromTheOldBytesWritesInPlace) {
    TempDir dir;
    const std::string path = dir / "b.bin";
    ASSERT_TRUE(put(path, "0123456789"));
    ReplacingFile f;
    ASSERT_TRUE(f.open(path, ReplacingFile::Start::Existing));
    ASSERT_TRUE(f.seek(3));
    ASSERT_TRUE(f.write("xy", 2));
    ASSERT_TRUE(f.commit());
    EXPECT_EQ(read_text(path), "012xy56789");
}

TEST(ReplacingFile, AFileNotCommittedLeavesTheTargetAsItWas) {
    TempDir dir;
    const std::string path = dir / "c.txt";
    ASSERT_TRUE(put(path, "keep me"));
    {
        ReplacingFile f;
        ASSERT_TRUE(f.open(path));
        ASSERT_TRUE(f.write("half", 4));
    }  // dropped without commit, as on an error
    EXPECT_EQ(read_text(path), "keep me");
    EXPECT_EQ(dir.entries(), 1);
}

// Regression: a failed save deleted or truncated what was at the target.
TEST(ReplacingFile, FailedSaveDeletedTheTarget) {
    TempDir dir;
    const std::string kept = dir / "kept.txt";
    ASSERT_TRUE(put(kept, "old"));
    struct Case {
        std::string target;
        uint32_t error;  // the platform's number for the refusal
        const char* what;
    };
    mkdir((dir / "folder").c_str(), 0755);
    mkfifo((dir / "pipe").c_str(), 0644);
    const Case cases[] = {
        {dir / "folder", 5, "a folder is not replaced"},
        {dir / "pipe", 5, "a pipe is not replaced (and not waited on)"},
        {"/dev/null", 5, "a device node is never replaced"},
        {dir / "missing/x.txt", 3, "a missing folder is path not found"},
        {std::string(dir / "kept.txt") + std::string(1, '\0') + ".gif", 123, "a name holding a NUL"},
        {"", 2, "no name"},
    };
    for (const auto& c : cases) {
        ReplacingFile f;
        EXPECT_FALSE(f.open(c.target)) << c.what;
        EXPECT_EQ(f.error(), c.error) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
        EXPECT_FALSE(f.message().empty());
    }
    struct stat st {};
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    ASSERT_EQ(lstat((dir / "pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(read_text(kept), "old");  // the name with a NUL did not reach kept.txt
    if (geteuid() != 0) {               // root may write a read-only file, as the platform lets it
        chmod(kept.c_str(), 0444);
        ReplacingFile f;
        EXPECT_FALSE(f.open(kept));
        EXPECT_EQ(f.error(), 5u);
        EXPECT_EQ(read_text(kept), "old");
    }
    EXPECT_EQ(dir.entries(), 3);
}

TEST(ReplacingFile, ALinkStaysAndItsFileIsReplaced) {
    TempDir dir;
    ASSERT_TRUE(put(dir / "real.txt", "old"));
    ASSERT_EQ(symlink("real.txt", (dir / "link.txt").c_str()), 0);
    ASSERT_TRUE(put(dir / "link.txt", "new"));
    struct stat st {};
    ASSERT_EQ(lstat((dir / "link.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_text(dir / "real.txt"), "new");
}

// A write past the file size limit fails with its number and the old file stays.
int write_past_the_size_limit(const std::string& path) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &lim);
    ReplacingFile f;
    if (!f.open(path)) return 2;
    std::string big(5000, 'x');
    if (f.write(big.data(), big.size())) return 3;
    if (f.commit()) return 4;
    if (f.os_error() != EFBIG || f.error() == 0) return 5;
    return read_text(path) == "old" ? 0 : 6;
}

TEST(ReplacingFile, AShortWriteIsReportedAndTheOldFileStays) {
    TempDir dir;
    ASSERT_TRUE(put(dir / "d.txt", "old"));
    EXPECT_EXIT(std::exit(write_past_the_size_limit(dir / "d.txt")), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(dir.entries(), 1);
}

TEST(Files, ReadingOpensOrdinaryFilesOnly) {
    TempDir dir;
    mkfifo((dir / "pipe").c_str(), 0644);
    ASSERT_TRUE(put(dir / "f", "x"));
    for (const std::string& name : {dir / "pipe", dir.path, std::string("/dev/zero")}) {
        EXPECT_EQ(CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0),
                  INVALID_HANDLE_VALUE)
            << name;  // and it returns at once: a pipe with no writer is not waited on
        EXPECT_EQ(GetLastError(), 5u) << name;
    }
    int32_t h = CreateFileA(dir / "f", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(CreateFileA(std::string(dir / "f") + std::string(1, '\0') + "x", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, 0),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 123u);
}

}  // namespace
