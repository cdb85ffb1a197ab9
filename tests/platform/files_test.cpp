// Files: the replacing writer never leaves a half-written target, never touches
// what is not an ordinary file, and reports each failure with its number.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fcntl.h>
#include <vector>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/errtext.hpp"
#include "platform/files.hpp"
#include "support/users.hpp"

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

struct stat stat_of(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st;
}

// The temporary file of a save in `dir` while it is open ("" when there is none).
std::string temporary_in(const TempDir& dir) {
    std::string found;
    if (DIR* d = opendir(dir.path.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name).size() > 4 && std::string(e->d_name).rfind(".tmp") != std::string::npos)
                found = dir / e->d_name;
        closedir(d);
    }
    return found;
}

// Regression: the temporary file took 0666 & ~umask while it was written, and a save
// at an offset first copied a 0600 file into it, readable by every user.
TEST(ReplacingFile, ATemporaryFileIsNeverReadableByOthers) {
    TempDir dir;
    chmod(dir.path.c_str(), 0755);
    const std::string secret = dir / ".secret.bin";
    ASSERT_TRUE(put(secret, "private bytes"));
    chmod(secret.c_str(), 0600);
    ReplacingFile f;
    ASSERT_TRUE(f.open(secret, ReplacingFile::Start::Existing));
    const std::string temp = temporary_in(dir);
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(stat_of(temp).st_mode & 07777, 0600u);
    if (t2test::can_switch_users()) {
        EXPECT_EQ(t2test::as_nobody([&] { return ::open(temp.c_str(), O_RDONLY) < 0 && errno == EACCES ? 0 : 1; }), 0);
    }
    ASSERT_TRUE(f.commit());
    EXPECT_EQ(stat_of(secret).st_mode & 07777, 0600u);
    EXPECT_EQ(read_text(secret), "private bytes");
}

// A new file has what the umask makes of 0666, read without changing the umask.
TEST(ReplacingFile, ANewFileTakesTheUmasksMode) {
    TempDir dir;
    for (mode_t mask : {mode_t{022}, mode_t{027}, mode_t{077}, mode_t{0}}) {
        const mode_t before = umask(mask);
        const std::string path = dir / ("new" + std::to_string(mask));
        EXPECT_TRUE(put(path, "x"));
        EXPECT_EQ(umask(before), mask);  // untouched by the save
        EXPECT_EQ(stat_of(path).st_mode & 07777, 0666u & ~mask) << std::oct << mask;
    }
}

// The kernel's rule for links in sticky world-writable folders, for every save, whether
// or not the machine turns it on: a planted link never sends bytes elsewhere.
TEST(ReplacingFile, LinksInStickyFoldersFollowTheKernelsRule) {
    if (!t2test::can_switch_users()) GTEST_SKIP() << "needs root to act as a second user";
    TempDir dir;
    chmod(dir.path.c_str(), 0755);
    mkdir((dir / "private").c_str(), 0700);
    mkdir((dir / "sticky").c_str(), 01777);
    chmod((dir / "sticky").c_str(), 01777);
    mkdir((dir / "theirs").c_str(), 01777);  // a sticky folder of the other user's
    chmod((dir / "theirs").c_str(), 01777);
    chown((dir / "theirs").c_str(), t2test::nobody_uid(), t2test::nobody_gid());
    mkdir((dir / "open").c_str(), 0777);  // world-writable, not sticky: no protection there
    chmod((dir / "open").c_str(), 0777);
    struct Case {
        const char* folder;
        bool planted_by_other;  // else made by the saver
        bool followed;
        const char* what;
    };
    const Case cases[] = {
        {"sticky", true, false, "another user's link in a shared sticky folder is refused"},
        {"sticky", false, true, "the saver's own link is followed"},
        {"theirs", true, true, "the folder owner's link is followed"},
        {"open", true, true, "a folder without the sticky bit has no protection (as the kernel's)"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string target = dir / ("private/file" + std::to_string(n));
        const std::string link = dir / (std::string(c.folder) + "/out" + std::to_string(n++) + ".gif");
        ASSERT_TRUE(put(target, "root's own"));
        auto plant = [&] { return symlink(target.c_str(), link.c_str()) == 0 ? 0 : 1; };
        ASSERT_EQ(c.planted_by_other ? t2test::as_nobody(plant) : plant(), 0) << c.what;
        ReplacingFile f;
        const bool saved = f.open(link) && f.write("GIF89a", 6) && f.commit();
        EXPECT_EQ(saved, c.followed) << c.what;
        EXPECT_EQ(read_text(target), c.followed ? "GIF89a" : "root's own") << c.what;
        EXPECT_TRUE(S_ISLNK(stat_of(link).st_mode)) << c.what;  // the link itself stays a link
        if (!c.followed) {
            EXPECT_EQ(f.error(), 5u) << c.what;
        }
    }
}

// Replacing by rename would split hard links, take another user's file over, or fail
// in a folder the saver cannot write; there the new bytes go into the file itself.
TEST(ReplacingFile, ReplacingKeepsTheFilesIdentity) {
    TempDir dir;
    chmod(dir.path.c_str(), 0755);
    const std::string file = dir / "f.txt";

    // one link, the saver's own: renamed over
    ASSERT_TRUE(put(file, "old"));
    ino_t ino = stat_of(file).st_ino;
    ReplacingFile own;
    ASSERT_TRUE(own.open(file));
    EXPECT_FALSE(own.in_place());
    ASSERT_TRUE(own.write("new", 3) && own.commit());
    EXPECT_NE(stat_of(file).st_ino, ino);

    // a second link: both names see the new bytes
    ASSERT_EQ(link(file.c_str(), (dir / "other-name").c_str()), 0);
    ino = stat_of(file).st_ino;
    ReplacingFile linked;
    ASSERT_TRUE(linked.open(file));
    EXPECT_TRUE(linked.in_place());
    ASSERT_TRUE(linked.write("longer bytes", 12) && linked.commit());
    EXPECT_EQ(stat_of(file).st_ino, ino);
    EXPECT_EQ(stat_of(file).st_nlink, 2u);
    EXPECT_EQ(read_text(dir / "other-name"), "longer bytes");
    ASSERT_TRUE(put(file, "short"));  // in place, shorter: the file ends where the new bytes do
    EXPECT_EQ(read_text(dir / "other-name"), "short");
    unlink((dir / "other-name").c_str());
    if (!t2test::can_switch_users()) return;

    // another user's file: it stays theirs, with its mode
    chown(file.c_str(), t2test::nobody_uid(), t2test::nobody_gid());
    chmod(file.c_str(), 0640);
    ino = stat_of(file).st_ino;
    ASSERT_TRUE(put(file, "root wrote this"));
    EXPECT_EQ(stat_of(file).st_uid, t2test::nobody_uid());
    EXPECT_EQ(stat_of(file).st_gid, t2test::nobody_gid());
    EXPECT_EQ(stat_of(file).st_mode & 07777, 0640u);
    EXPECT_EQ(stat_of(file).st_ino, ino);
    EXPECT_EQ(read_text(file), "root wrote this");

    // a writable file in a folder the saver may not write: saved as the platform's writer would
    chmod(file.c_str(), 0644);
    EXPECT_EQ(t2test::as_nobody([&] { return put(file, "nobody's") ? 0 : 1; }), 0);
    EXPECT_EQ(read_text(file), "nobody's");
    EXPECT_EQ(dir.entries(), 1);
}

// In place, a write that cannot be made whole fails before the old bytes are touched.
int save_in_place_past_the_size_limit(const std::string& path) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &lim);
    ReplacingFile f;
    if (!f.open(path) || !f.in_place()) return 2;
    std::string big(5000, 'x');
    if (f.write(big.data(), big.size()) && f.commit()) return 4;
    if (f.os_error() != EFBIG) return 5;
    return read_text(path) == "old" ? 0 : 6;
}

TEST(ReplacingFile, AnInPlaceSaveThatCannotFinishLeavesTheOldBytes) {
    TempDir dir;
    ASSERT_TRUE(put(dir / "e.txt", "old"));
    ASSERT_EQ(link((dir / "e.txt").c_str(), (dir / "e2.txt").c_str()), 0);
    EXPECT_EXIT(std::exit(save_in_place_past_the_size_limit(dir / "e.txt")), ::testing::ExitedWithCode(0), "");
}

}  // namespace
