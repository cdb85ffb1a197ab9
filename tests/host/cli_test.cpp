// The command-line host as a user runs it: output, errors and exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "support/users.hpp"
#include "tavolin2/version.h"

namespace {

struct Result {
    int rc;
    std::string out, err;
};

Result run(const std::string& args) {
    char errfile[] = "/tmp/t2cliXXXXXX";
    int fd = mkstemp(errfile);
    close(fd);
    std::string cmd = std::string(TAVOLIN2_CLI) + " " + args + " 2>" + errfile;
    Result r{};
    FILE* p = popen(cmd.c_str(), "r");
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int status = pclose(p);
    r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream e(errfile);
    r.err.assign(std::istreambuf_iterator<char>(e), {});
    std::remove(errfile);
    return r;
}

struct Case {
    const char* args;
    int rc;
    const char* out;
    const char* err;  // a part of stderr
};

TEST(Cli, CallSteps) {
    const Case cases[] = {
        {"call TAVOLIN2.clsQELCompany 'GetQELCompanyInformation(901)'", 0, "QEL\n", ""},
        {"call TAVOLIN2.clsQELCompany 'GetQELCompanyInformation(899)'", 0, "\n",
         "[Error In Tavolin2.clsQELCompany.GetQELCompanyInfo] 326, Resource with identifier '899' not found"},
        {"call tavolin2.clsqelcompany 'getQELcompanyinformation(lResConst:=901)' 'GetQELCompanyInformation(\"907\")'",
         0, "QEL\n-\n", ""},
        {"call TAVOLIN2.clsQELCompany 'GetQELCompanyInformation(\"x\")'", 1, "", "error 13: Type mismatch"},
        {"call TAVOLIN2.clsQELCompany 'GetQELCompanyInformation(3000000000)'", 1, "", "error 6: Overflow"},
        {"call TAVOLIN2.clsQELCompany 'GetQELCompanyInformation()'", 1, "",
         "error 450: Wrong number of arguments or invalid property assignment"},
        {"call TAVOLIN2.clsQELCompany 'GetQELCompanyInformation(1, 2)'", 1, "", "error 450:"},
        {"call TAVOLIN2.clsQELCompany Nope", 1, "", "error 438: Object doesn't support this property or method"},
        {"call TAVOLIN2.clsQELCompany 'GetQELCompanyInformation(nope:=1)'", 1, "", "error 448"},
        {"call TAVOLIN2.clsTavolin2 Anything", 1, "", "error 438"},
        {"call TAVOLIN2.Missing Count", 1, "", "error 429"},
        {"call TAVOLIN2.cPalette 'Add(300, 0, 0)'", 1, "", "error 6: Overflow (argument 1)"},
        {"call TAVOLIN2.cPalette Count CreateWebSafe Count 'Red(9)' 'ClosestIndex(50, 1, 1)'", 0, "0\n256\n51\n9\n",
         ""},
        {"call TAVOLIN2.clsQELCompany 'GetQELCompanyInformation(901' ", 2, "", "missing )"},
    };
    for (const Case& c : cases) {
        Result r = run(c.args);
        EXPECT_EQ(r.rc, c.rc) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out, c.out) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << "\n" << r.err;
    }
}

TEST(Cli, ImagingVerbs) {
    std::string dir = testing::TempDir();
    Result noise = run("noise 8 4 " + dir + "/t2n.bmp --gray");
    ASSERT_EQ(noise.rc, 0) << noise.err;
    std::ifstream f(dir + "/t2n.bmp", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), {});
    EXPECT_EQ(bytes.size(), 54u + 4 * 24);
    EXPECT_EQ(run("resample " + dir + "/t2n.bmp " + dir + "/t2r.png 16 8").rc, 0);
    EXPECT_EQ(run("bmp " + dir + "/t2r.png " + dir + "/t2b.bmp").rc, 0);
    Result steps = run("call TAVOLIN2.cDIBSection 'CreateFromPicture(@picture:" + dir + "/t2r.png)' Width Height hDib");
    EXPECT_EQ(steps.rc, 0) << steps.err;
    EXPECT_EQ(steps.out.substr(0, 6), "\n16\n8\n");
    const Case failures[] = {
        {"noise 0 5 /tmp/x.png", 1, "", "no section of 0x5"},
        {"noise 5 five /tmp/x.png", 2, "", "usage"},
        {"bmp /nonexistent.png /tmp/x.bmp", 1, "", "File not found: /nonexistent.png"},
        {"resample /nonexistent.png /tmp/x.bmp 2 2", 1, "", "File not found: /nonexistent.png"},
    };
    for (const Case& c : failures) {
        Result r = run(c.args);
        EXPECT_EQ(r.rc, c.rc) << c.args;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    }
    Result missing = run("noise 4 4 " + dir + "/no-such-folder/x.bmp");
    EXPECT_EQ(missing.rc, 1);
    EXPECT_NE(missing.err.find("error 17: "), std::string::npos) << missing.err;
}

// No input ends the host with an uncaught exception or a wait for ever: a folder
// as a picture, a pipe or a device as a palette or a play list.
TEST(Cli, FoldersPipesAndDevicesGiveAClearError) {
    std::string dir = testing::TempDir() + "/t2-cli-nonfiles";
    mkdir(dir.c_str(), 0755);
    const std::string pipe = dir + "/pipe";
    mkfifo(pipe.c_str(), 0644);
    const Case cases[] = {
        {"bmp DIR DIR/x.bmp", 1, "", "not an ordinary file"},
        {"gif DIR DIR/x.gif", 1, "", "not an ordinary file"},
        {"palette --show PIPE", 1, "", ""},
        {"playlist load /dev/zero", 1, "", "not an ordinary file"},
        {"playlist titles PIPE", 1, "", "not an ordinary file"},
        {"playlist save DIR/l.m3u 'a\rb'", 2, "", "line break"},
        {"playlist save DIR/missing/l.m3u a b", 1, "",
         "not saved (DIR/missing: No such file or directory (error 2)); no file was made"},
        {"playlist save DIR a b", 1, "", "not saved (not an ordinary file); the file was left as it was"},
        {"playlist save /dev/null a b", 1, "", "not saved (not an ordinary file)"},
    };
    auto expand = [&](std::string a) {
        for (auto [from, to] : {std::pair<std::string, std::string>{"DIR", dir}, {"PIPE", pipe}})
            for (size_t at; (at = a.find(from)) != std::string::npos;) a.replace(at, from.size(), to);
        return a;
    };
    for (const Case& c : cases) {
        std::string args = expand(c.args);
        Result r = run(args);
        EXPECT_EQ(r.rc, c.rc) << args << ": " << r.err;
        EXPECT_NE(r.err.find(expand(c.err)), std::string::npos) << args << ": " << r.err;
    }
    std::remove(pipe.c_str());
}

// Regression: a play list whose save failed part-way was left truncated, and
// the host said how many lines it found, which after a failed save over an old
// list of as many lines read as success.  Now the old list stays whole and the
// host says the save failed.
TEST(Cli, AFailedPlayListSaveKeepsTheOldListAndSaysSo) {
    const std::string dir = testing::TempDir() + "/t2-cli-playlist";
    mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/l.m3u";
    std::ofstream(path, std::ios::binary) << "old1\r\nold2\r\n";
    // a file size limit of one block, its signal ignored: the write fails with EFBIG
    const std::string big(3000, 'x');
    const std::string limited = "sh -c \"trap '' XFSZ; ulimit -f 1; exec " + std::string(TAVOLIN2_CLI) +
                                " playlist save '" + path + "' " + big + " " + big + "\" 2>&1";
    FILE* p = popen(limited.c_str(), "r");
    std::string out;
    char buf[512];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int status = pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << out;
    EXPECT_NE(out.find("not saved (the file could not be written in full); the file was left as it was"),
              std::string::npos)
        << out;
    std::ifstream back(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(back), {}), "old1\r\nold2\r\n");
    // the same save without the limit replaces it
    Result r = run("playlist save " + path + " a b");
    EXPECT_EQ(r.rc, 0) << r.err;
    std::ifstream again(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}), "a\r\nb\r\n");
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

TEST(Cli, BarcodeVerbs) {
    std::string dir = testing::TempDir();
    Result text = run("barcode-text ABC");
    EXPECT_EQ(text.rc, 0);
    EXPECT_EQ(text.out,
              "Length\t3\nFirstCharacter\tA\nLastCharacter\tC\nCode1\t1068070\nCode2\t000401\n"
              "OutputCode\t1068070000401\nGuessInputString\tA123C\n");
    EXPECT_EQ(run("code128 AB " + dir + "/t2c.png --caption Hi --align right --top").rc, 0);
    EXPECT_EQ(run("code128 AB " + dir + "/t2c.gif").rc, 0);
    EXPECT_EQ(run("code39 AB " + dir + "/t2c39.bmp --caption AB").rc, 0);
    Result bad = run("code128 " + std::string("\xC3\xA9") + " " + dir + "/t2bad.png");
    EXPECT_EQ(bad.rc, 1);
    EXPECT_NE(bad.err.find("Error(54548):Illegal character for this symbology specified."), std::string::npos);
    EXPECT_EQ(run("code128 AB").rc, 2);
    Result steps =
        run("call TAVOLIN2.clsBCAT175 'Barcode128Draw(\"AB\", @picturebox:120x60, \"Hi\")' --save-picturebox " + dir +
            "/t2box.png");
    EXPECT_EQ(steps.rc, 0) << steps.err;
    EXPECT_EQ(access((dir + "/t2box.png").c_str(), R_OK), 0);
    EXPECT_EQ(run("call TAVOLIN2.clsBCAT175 ClearAll --save-picturebox " + dir + "/t2none.png").rc, 2);
}

TEST(Cli, VendorMembersAndDemo) {
    Result v = run("vendor");
    EXPECT_EQ(v.rc, 0);
    EXPECT_NE(v.out.find("901\tQEL\n"), std::string::npos);
    EXPECT_NE(v.out.find("921\t-\n"), std::string::npos);
    EXPECT_EQ(run("vendor 903").out, "Quillmere Engineering Laboratories\n");
    EXPECT_EQ(run("vendor 1x").rc, 2);

    Result m = run("members TAVOLIN2.cDIBSection");
    EXPECT_EQ(m.rc, 0);
    EXPECT_NE(m.out.find("[ByVal bAsDIB As Boolean = True]"), std::string::npos);
    EXPECT_NE(m.out.find(" 23  0x60030011  method ApiError(ByVal e As Long) As String"), std::string::npos);

    char dir[] = "/tmp/t2demoXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    Result d = run(std::string("demo ") + dir);
    EXPECT_EQ(d.rc, 0) << d.err;
    std::ifstream report(std::string(dir) + "/report.txt");
    std::string text((std::istreambuf_iterator<char>(report)), {});
    EXPECT_NE(text.find("TAVOLIN2.cPalette\tcreated\t12 members"), std::string::npos);
    EXPECT_NE(text.find("901\tQEL"), std::string::npos);
    EXPECT_EQ(text.find('\0'), std::string::npos) << "a reply buffer's NULs reached the report";
    EXPECT_EQ(d.out.find('\0'), std::string::npos);
    for (const char* out : {"/test-picture.png", "/test-picture.bmp", "/test-picture-160x120.png", "/noise.png",
                            "/test-picture-websafe.gif", "/test-picture-best.gif", "/test-picture-transparent.gif",
                            "/code128.png", "/code39.png"})
        EXPECT_EQ(access((std::string(dir) + out).c_str(), R_OK), 0) << out;
    std::system((std::string("rm -rf ") + dir).c_str());
    EXPECT_EQ(run("frobnicate").rc, 2);
}

std::string file_text(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// Regression: as root, a link that another user planted in a sticky world-writable
// folder sent the GIF, bitmap, palette and play-list writers' bytes to the file it
// names (the PNG writer replaced the link instead).  Every writer now refuses it.
TEST(Cli, APlantedLinkRedirectsNoWriter) {
    if (!t2test::can_switch_users()) GTEST_SKIP() << "needs root to act as a second user";
    std::string dir = testing::TempDir() + "/t2-cli-sticky-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir.data()));
    chmod(dir.c_str(), 0755);
    const std::string sticky = dir + "/sticky", mine = dir + "/private";
    mkdir(sticky.c_str(), 01777);
    chmod(sticky.c_str(), 01777);
    mkdir(mine.c_str(), 0700);
    ASSERT_EQ(run("noise 8 4 " + mine + "/in.bmp").rc, 0);
    const std::pair<const char*, const char*> writers[] = {
        {"gif IN OUT", ".gif"},          {"gif IN OUT --best", ".gif"}, {"bmp IN OUT", ".bmp"},
        {"resample IN OUT 4 4", ".png"}, {"palette IN OUT", ".pal"},    {"playlist save OUT a b", ".m3u"},
        {"code128 ABC OUT", ".png"},     {"code39 ABC OUT", ".bmp"},    {"noise 4 4 OUT", ".bmp"},
    };
    int n = 0;
    for (const auto& [w, extension] : writers) {
        const std::string victim = mine + "/victim" + std::to_string(n);
        const std::string out = sticky + "/out" + std::to_string(n++) + extension;
        std::ofstream(victim) << "root's own";
        ASSERT_EQ(t2test::as_nobody([&] { return symlink(victim.c_str(), out.c_str()) == 0 ? 0 : 1; }), 0);
        std::string args = w;
        args.replace(args.find("OUT"), 3, out);
        if (args.find("IN") != std::string::npos) args.replace(args.find("IN"), 2, mine + "/in.bmp");
        Result r = run(args);
        EXPECT_NE(r.rc, 0) << args;
        const bool refused = r.err.find("ccess") != std::string::npos || r.err.find("ermission") != std::string::npos;
        EXPECT_TRUE(refused) << args << ": " << r.err;  // the access error, in the words of each writer
        EXPECT_EQ(file_text(victim), "root's own") << args << ": " << r.err;
    }
    std::system(("rm -rf '" + dir + "'").c_str());
}

// Regression: a name that is not UTF-8 (caf\xE9) was written as caf\xEF\xBF\xBD, another
// file, with exit 0; reading the real file then found nothing.
TEST(Cli, NamesThatAreNotUtf8KeepTheirBytes) {
    std::string dir = testing::TempDir() + "/t2-cli-names-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir.data()));
    ASSERT_EQ(run("noise 8 4 '" + dir + "/in\xE9.bmp'").rc, 0);
    const std::string in = "'" + dir + "/in\xE9.bmp'";
    EXPECT_EQ(run("gif " + in + " '" + dir + "/caf\xE9.gif' --quiet").rc, 0);
    EXPECT_EQ(file_text(dir + "/caf\xE9.gif").substr(0, 3), "GIF");
    EXPECT_EQ(run("palette " + in + " '" + dir + "/caf\xE9.pal' --size 8").rc, 0);
    Result shown = run("palette --show '" + dir + "/caf\xE9.pal'");
    EXPECT_EQ(shown.rc, 0) << shown.err;
    EXPECT_NE(shown.out.find("8"), std::string::npos) << shown.out;
    EXPECT_EQ(run("playlist save '" + dir + "/caf\xE9.m3u' one two").rc, 0);
    EXPECT_EQ(run("playlist load '" + dir + "/caf\xE9.m3u'").out, "one\ntwo\n");
    EXPECT_TRUE(file_text(dir + "/caf\xEF\xBF\xBD.gif").empty());
    std::system(("rm -rf '" + dir + "'").c_str());
}

// Regression: "235 colours written to OUT" was printed when the save failed.
TEST(Cli, AFailedPaletteSaveSaysWhy) {
    std::string dir = testing::TempDir() + "/t2-cli-palsave-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir.data()));
    ASSERT_EQ(run("noise 8 4 " + dir + "/in.bmp").rc, 0);
    const Case cases[] = {
        {"palette DIR/in.bmp DIR/missing/out.pal", 1, "", "DIR/missing/out.pal: not saved: "},
        {"palette DIR/in.bmp DIR", 1, "", "DIR: not saved: "},
        {"palette DIR/in.bmp /dev/full", 1, "", "/dev/full: not saved: "},
    };
    for (const Case& c : cases) {
        std::string args = c.args, err = c.err;
        for (std::string* t : {&args, &err})
            for (size_t at; (at = t->find("DIR")) != std::string::npos;) t->replace(at, 3, dir);
        Result r = run(args);
        EXPECT_EQ(r.rc, 1) << args;
        EXPECT_EQ(r.out.find("written"), std::string::npos) << args << ": " << r.out;
        EXPECT_NE(r.err.find(err), std::string::npos) << args << ": " << r.err;
    }
    std::system(("rm -rf '" + dir + "'").c_str());
}

// Regression: 64 MB of CRs made 16.7 million entries per 16 MB (4.2 GB), and a list of
// 64 MB + 1 byte gave an empty list with exit 0 and no word.
TEST(Cli, PlayListsPastTheirBoundsAreRefusedWithTheReason) {
    std::string dir = testing::TempDir() + "/t2-cli-bounds-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir.data()));
    std::ofstream(dir + "/many.m3u", std::ios::binary) << std::string(40000, '\r');
    std::ofstream(dir + "/most.m3u", std::ios::binary) << std::string(32768, '\r');
    std::ofstream(dir + "/big.m3u").close();
    ASSERT_EQ(truncate((dir + "/big.m3u").c_str(), (64L << 20) + 1), 0);
    Result many = run("playlist load " + dir + "/many.m3u");
    EXPECT_EQ(many.rc, 1);
    EXPECT_NE(many.err.find("more than the 32768 entries"), std::string::npos) << many.err;
    Result big = run("playlist load " + dir + "/big.m3u");
    EXPECT_EQ(big.rc, 1);
    EXPECT_NE(big.err.find("larger than the 64 MB"), std::string::npos) << big.err;
    Result most = run("playlist load " + dir + "/most.m3u");  // as many as an Integer index reaches
    EXPECT_EQ(most.rc, 0) << most.err;
    EXPECT_EQ(most.out, std::string(32768, '\n'));
    std::system(("rm -rf '" + dir + "'").c_str());
}

// Regression: the media verbs took names and files by their looks.  A UTF-8 name typed
// in the console was refused (275); .opus files were read as play lists; a picture was
// listed as one; relative entries were looked up from the current folder; a missing
// entry stopped the console; status lines went into pipes; a name the code page cannot
// hold was saved as ? without a word.
TEST(Cli, MediaVerbsTakeNamesAndFilesAsTheyAre) {
    if (std::system("command -v ffmpeg >/dev/null") != 0) GTEST_SKIP() << "ffmpeg is not installed";
    std::string dir = testing::TempDir() + "/t2-cli-media-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir.data()));
    for (const std::string name : {"caf\xC3\xA9.wav", "tone.opus"})
        ASSERT_EQ(std::system(
                      ("ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:duration=1 '" + dir + "/" + name + "'")
                          .c_str()),
                  0);
    ASSERT_EQ(run("noise 4 4 " + dir + "/photo.png").rc, 0);
    // a play list is in the code page: caf\xE9 names the UTF-8 file cafe-acute
    std::ofstream(dir + "/list.m3u", std::ios::binary) << "missing.wav\r\ncaf\xE9.wav\r\n";

    Result typed = run("mci 'open \"" + dir + "/caf\xC3\xA9.wav\" alias x' 'status x mode' 'close x'");
    EXPECT_EQ(typed.rc, 0) << typed.out << typed.err;
    EXPECT_EQ(typed.out.find("error"), std::string::npos) << typed.out;
    Result greek = run("mci 'open \"" + dir + "/\xCE\xA9mega.wav\" alias y'");
    EXPECT_NE(greek.err.find("has no \xCE\xA9"), std::string::npos) << greek.err;

    Result opus = run("play " + dir + "/tone.opus --seconds 0.2");
    EXPECT_EQ(opus.rc, 0) << opus.err;
    EXPECT_EQ(opus.err.find('\r'), std::string::npos) << "a status line was drawn into a pipe";
    const std::string clip = dir + "/clip.mp4";
    if (std::system(
            ("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=25:duration=1 '" + clip + "'").c_str()) ==
        0) {
        Result movie = run("movie " + clip + " --seconds 0.3");
        EXPECT_EQ(movie.rc, 0) << movie.err;
        EXPECT_EQ(movie.err.find('\r'), std::string::npos) << "a status line was drawn into a pipe";
    }
    Result picture = run("playlist load " + dir + "/photo.png");
    EXPECT_EQ(picture.rc, 1);
    EXPECT_NE(picture.err.find("not a play list"), std::string::npos) << picture.err;
    Result list = run("play " + dir + "/list.m3u --seconds 0.2");  // from the tests' own folder
    EXPECT_EQ(list.rc, 0) << list.err;
    EXPECT_NE(list.err.find("missing.wav does not play; passed over"), std::string::npos) << list.err;
    EXPECT_NE(list.err.find("[2/2]"), std::string::npos) << list.err;

    Result omega = run("playlist save " + dir + "/o.m3u \xCE\xA9mega");
    EXPECT_EQ(omega.rc, 0) << omega.err;
    EXPECT_NE(omega.err.find("entry 1: the code page (Windows-1252) has no \xCE\xA9"), std::string::npos) << omega.err;
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace

// Regression: "--size abc" drew with size 0, unknown options were ignored or
// taken as files, "vendor 5" printed nothing and exited 0, "bmp IN OUT" wrote
// OUT.bmp under another name.
TEST(Cli, StrictOptionsAndExitCodes) {
    char tmpl[] = "/tmp/t2strictXXXXXX";
    const std::string dir = mkdtemp(tmpl);
    ASSERT_EQ(run("code128 PIC " + dir + "/in.png").rc, 0);
    const Case cases[] = {
        {"code128 ABC /tmp/x.png --size abc", 2, "", "--size takes a whole number from 1 to 512, not 'abc'"},
        {"code128 ABC /tmp/x.png --bar-height 12x", 2, "", "--bar-height"},
        {"code128 ABC /tmp/x.png --frob", 2, "", "unknown option --frob"},
        {"code128 ABC /tmp/x.png extra", 2, "", "one argument too many: extra"},
        {"code128 ABC /tmp/x.jpg", 1, "", "not as .jpg"},
        {"code39 ABC /tmp/x.png --wide", 2, "", "unknown option --wide"},
        {"vendor 5", 1, "", "no vendor text 5"},
        {"vendor five", 2, "", "whole number"},
        {"gif IN.png /tmp/x.png", 2, "", "the output of gif is a .gif file"},
        {"gif IN.png /tmp/x.gif --transparent red", 2, "", "--transparent takes a colour"},
        {"gif IN.png --out-dir /tmp -j many", 2, "", "-j takes a whole number"},
        {"gif IN.png /tmp/x.gif --fast", 2, "", "unknown option --fast"},
        {"bmp IN.png /tmp/x.png", 2, "", "the output of bmp is a .bmp file"},
        {"palette IN.png /tmp/x.pal --size 9x", 2, "", "--size takes a whole number from 1 to 256"},
        {"play x.mp3 --seconds soon", 2, "", "--seconds takes a number"},
    };
    for (const Case& c : cases) {
        Result r = run(c.args);
        EXPECT_EQ(r.rc, c.rc) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    }
    // progress on a log: one line at the end with 100 %, nothing with --quiet
    Result logged = run("gif " + dir + "/in.png " + dir + "/out.gif");
    EXPECT_EQ(logged.rc, 0) << logged.err;
    EXPECT_EQ(logged.err, dir + "/out.gif: 100%\n");
    Result quiet = run("gif " + dir + "/in.png " + dir + "/q.gif --quiet");
    EXPECT_EQ(quiet.rc, 0);
    EXPECT_EQ(quiet.err, "");
    // on a terminal (through script(1), where there is one): a bar drawn in place, ending at 100 %
    if (std::system("command -v script >/dev/null 2>&1") == 0) {
        std::string cmd =
            "script -qec '" + std::string(TAVOLIN2_CLI) + " gif " + dir + "/in.png " + dir + "/tty.gif' /dev/null";
        FILE* p = popen(cmd.c_str(), "r");
        std::string tty;
        std::array<char, 4096> buf;
        for (size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;) tty.append(buf.data(), n);
        EXPECT_EQ(pclose(p), 0);
        EXPECT_NE(tty.find("\r["), std::string::npos) << tty;
        EXPECT_NE(tty.find("] 100%\r\n"), std::string::npos) << tty;
        std::remove((dir + "/tty.gif").c_str());
    }
    Result version = run("--version");
    EXPECT_EQ(version.out, std::string("tavolin2 ") + T2_VERSION_STRING + "\n");
    for (const char* f : {"/in.png", "/out.gif", "/q.gif"}) std::remove((dir + f).c_str());
    rmdir(dir.c_str());
}

// Batch conversion: the output folder is made, a bad file is named while the others
// go on, the exit status says one failed, and each output is the one-at-a-time save.
TEST(Cli, BatchConversion) {
    char tmpl[] = "/tmp/t2batchXXXXXX";
    const std::string dir = mkdtemp(tmpl);
    ASSERT_EQ(run("code128 ONE " + dir + "/a.png").rc, 0);
    ASSERT_EQ(run("code128 TWO " + dir + "/b.png").rc, 0);
    std::ofstream(dir + "/bad.png") << "not a picture";
    const std::string out = dir + "/made/here";
    Result r = run("gif " + dir + "/a.png " + dir + "/bad.png " + dir + "/b.png --out-dir " + out + " -j 2 --quiet");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("tavolin2: " + dir + "/bad.png: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 of 3 files failed"), std::string::npos) << r.err;
    auto bytes = [](const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    for (const char* name : {"a", "b"}) {
        ASSERT_EQ(run("gif " + dir + "/" + name + ".png " + dir + "/" + name + ".gif --quiet").rc, 0);
        const std::string alone = bytes(dir + "/" + name + ".gif");
        EXPECT_FALSE(alone.empty());
        EXPECT_EQ(bytes(out + "/" + name + ".gif"), alone) << name;
    }
    // a file where the folder should be: one message, nothing converted
    std::ofstream(dir + "/taken") << "x";
    Result blocked = run("gif " + dir + "/a.png --out-dir " + dir + "/taken --quiet");
    EXPECT_EQ(blocked.rc, 1);
    EXPECT_NE(blocked.err.find("cannot make the output folder"), std::string::npos) << blocked.err;
    std::system(("rm -rf " + dir).c_str());
}
