// Play lists through the host's ListBox: files, titles, refusals.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "kit/list_box.hpp"
#include "support/files.hpp"

using namespace kit;

namespace {

_MP3Class* player() {
    _MP3Class* p = nullptr;
    T2CoCreateInstance(CLSID_MP3Class, IID__MP3Class, reinterpret_cast<void**>(&p));
    return p;
}

VARIANT holding(IDispatch* d) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = d;
    return v;
}

TEST(PlayList, LoadSaveAndTitles) {
    std::string path = testing::TempDir() + "/t2-list.m3u";
    std::ofstream(path, std::ios::binary) << "a.mp3  \r\n\r\nb.mp3";
    _MP3Class* p = player();
    ListBox* list = ListBox::make({"kept"});
    BSTR file = SysAllocStringUTF8(path.c_str());
    VARIANT box = holding(list), r;
    ASSERT_EQ(p->MP3OpenPlayList(&file, &box, &r), S_OK);
    EXPECT_EQ(list->entries(), (std::vector<std::string>{"kept", "a.mp3", "", "b.mp3"}));
    ListBox* two = ListBox::make({"a", "b"});
    VARIANT box2 = holding(two);
    ASSERT_EQ(p->MP3SavePlayList(&file, &box2, &r), S_OK);
    EXPECT_EQ(t2test::read_text(path), "a\r\nb\r\n");
    ListBox* none = ListBox::make();
    VARIANT box3 = holding(none);
    ASSERT_EQ(p->MP3SavePlayList(&file, &box3, &r), S_OK);
    EXPECT_EQ(t2test::read_text(path), "");
    // a lone LF stays in its entry
    std::ofstream(path, std::ios::binary) << "x\ny\r\n";
    ListBox* lf = ListBox::make();
    VARIANT box4 = holding(lf);
    p->MP3OpenPlayList(&file, &box4, &r);
    EXPECT_EQ(lf->entries(), (std::vector<std::string>{"x\ny"}));
    // unreadable and empty names: Empty, the control unchanged
    BSTR missing = SysAllocStringUTF8((testing::TempDir() + "/none.m3u").c_str()), empty = SysAllocString(u"");
    EXPECT_EQ(p->MP3OpenPlayList(&missing, &box4, &r), S_OK);
    EXPECT_EQ(r.vt, VT_EMPTY);
    EXPECT_EQ(p->MP3OpenPlayList(&empty, &box4, &r), S_OK);
    EXPECT_EQ(lf->entries().size(), 1u);
    // titles into the same control: the count is read once
    ListBox* paths = ListBox::make({"C:\\Music\\my.song.mp3", "D:\\a.b\\readme", "track"});
    IDispatch* a = paths;
    IDispatch* b = paths;
    ASSERT_EQ(p->ListNoChar(&a, &b), S_OK);
    EXPECT_EQ(paths->entries(),
              (std::vector<std::string>{"C:\\Music\\my.song.mp3", "D:\\a.b\\readme", "track", "my.song", "", ""}));
    IDispatch* nothing = nullptr;
    EXPECT_EQ(p->ListNoChar(&a, &nothing), static_cast<HRESULT>(T2_ERROR_STATUS(91)));
    for (BSTR s : {file, missing, empty}) SysFreeString(s);
    for (ListBox* l : {list, two, none, lf, paths}) l->Release();
    p->Release();
}

// Regression: MP3SavePlayList truncated the old list before writing, so a save
// that failed part-way left a partial file, and one given a device or folder
// opened it.  Now the list goes to a new file renamed over the old one when
// whole; the member stays silent about failures, as it always was.
int save_past_the_size_limit(const std::string& path) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{100, 100};
    setrlimit(RLIMIT_FSIZE, &lim);
    _MP3Class* p = player();
    ListBox* big = ListBox::make({std::string(80, 'a'), std::string(80, 'b')});
    BSTR file = SysAllocStringUTF8(path.c_str());
    VARIANT box = holding(big), r;
    const HRESULT hr = p->MP3SavePlayList(&file, &box, &r);
    SysFreeString(file);
    big->Release();
    p->Release();
    if (hr != S_OK) return 2;  // silent, as the member always was
    return t2test::read_text(path) == "old\r\n" ? 0 : 3;
}

TEST(PlayList, FailedSaveTruncatedTheOldList) {
    const std::string dir = testing::TempDir() + "/t2-playlist-save";
    mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/l.m3u";
    std::ofstream(path, std::ios::binary) << "old\r\n";
    EXPECT_EXIT(std::exit(save_past_the_size_limit(path)), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(t2test::read_text(path), "old\r\n");

    _MP3Class* p = player();
    ListBox* two = ListBox::make({"a", "b"});
    VARIANT box = holding(two), r;
    for (const std::string& name :
         {dir, std::string("/dev/null"), dir + "/missing/l.m3u", dir + std::string("/x\0y", 4)}) {
        const std::u16string wide(name.begin(), name.end());
        BSTR file = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        EXPECT_EQ(p->MP3SavePlayList(&file, &box, &r), S_OK) << name;
        SysFreeString(file);
    }
    struct stat st {};
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_NE(stat((dir + "/x").c_str(), &st), 0);  // the name with a NUL wrote nothing at its prefix

    BSTR file = SysAllocStringUTF8(path.c_str());
    ListBox* back = ListBox::make();
    // a pipe or a device is no play list: nothing is read from it
    const std::string pipe = dir + "/pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    for (const std::string& name : {pipe, std::string("/dev/zero"), dir}) {
        BSTR other = SysAllocStringUTF8(name.c_str());
        ListBox* none = ListBox::make();
        VARIANT none_box = holding(none);
        EXPECT_EQ(p->MP3OpenPlayList(&other, &none_box, &r), S_OK) << name;
        EXPECT_TRUE(none->entries().empty()) << name;
        none->Release();
        SysFreeString(other);
    }
    SysFreeString(file);
    for (ListBox* l : {two, back}) l->Release();
    p->Release();
    std::remove(pipe.c_str());
    std::remove(path.c_str());
    rmdir(dir.c_str());
}

// Saves that cannot write every entry as its own line: the old list stays whole
// and the member is silent, as it always was.
TEST(PlayList, SavesThatCannotWriteTheWholeListLeaveTheOldOne) {
    const std::string path = testing::TempDir() + "/t2-playlist-whole.m3u";
    std::vector<std::string> many(100000);
    for (size_t i = 0; i < many.size(); ++i) many[i] = std::to_string(i);
    struct Case {
        const char* what;
        std::vector<std::string> entries;
        bool replaced;
    };
    const Case cases[] = {
        // the 16-bit index wrapped: 100,000 entries saved as their first 32,768 lines, no error
        {"100,000 entries", many, false},
        {"32,769 entries", std::vector<std::string>(many.begin(), many.begin() + 32769), false},
        {"32,768 entries", std::vector<std::string>(many.begin(), many.begin() + 32768), true},
        // an entry with a line break was split into two entries of the saved list
        {"a CR", {"a", "b\rc"}, false},
        {"a CR LF", {"a", "b\r\nc"}, false},
        {"a lone LF", {"b\nc", "a"}, false},
    };
    _MP3Class* p = player();
    BSTR file = SysAllocStringUTF8(path.c_str());
    for (const Case& c : cases) {
        std::ofstream(path, std::ios::binary) << "old\r\n";
        ListBox* list = ListBox::make(c.entries);
        VARIANT box = holding(list), r;
        EXPECT_EQ(p->MP3SavePlayList(&file, &box, &r), S_OK) << c.what;  // silent either way
        std::string expected = "old\r\n";
        if (c.replaced) {
            expected.clear();
            for (const std::string& e : c.entries) expected += e + "\r\n";
        }
        const std::string saved = t2test::read_text(path);
        // compared whole, reported by line count: a list of 32,768 lines is too long to print
        EXPECT_TRUE(saved == expected) << c.what << ": " << std::count(saved.begin(), saved.end(), '\n')
                                       << " lines saved, " << std::count(expected.begin(), expected.end(), '\n')
                                       << " expected";
        list->Release();
    }
    // no list at all: its count cannot be read, and the old list was replaced by an empty one
    std::ofstream(path, std::ios::binary) << "old\r\n";
    VARIANT nothing, r;
    VariantInit(&nothing);
    EXPECT_EQ(p->MP3SavePlayList(&file, &nothing, &r), S_OK);
    EXPECT_EQ(t2test::read_text(path), "old\r\n");
    SysFreeString(file);
    p->Release();
    std::remove(path.c_str());
}

TEST(PlayList, FileNames) {
    _MP3Class* p = player();
    struct {
        const char16_t* in;
        const char16_t* out;
    } cases[] = {
        {u"C:\\Music\\Rock\\song.mp3", u"song.mp3"}, {u"song.mp3", u"song.mp3"}, {u"C:\\Music\\", u""}, {u"", u""}};
    for (auto& c : cases) {
        BSTR in = SysAllocString(c.in), out = nullptr;
        ASSERT_EQ(p->GetLastBackSlash(&in, &out), S_OK);
        EXPECT_EQ(std::u16string(out ? out : u"", SysStringLen(out)), c.out);
        SysFreeString(in);
        SysFreeString(out);
    }
    std::u16string far(40000, u'x');
    far += u"\\tail";
    BSTR in = SysAllocStringLen(far.data(), static_cast<UINT>(far.size())), out = nullptr;
    EXPECT_EQ(p->GetLastBackSlash(&in, &out), static_cast<HRESULT>(T2_ERROR_STATUS(6)));
    SysFreeString(in);
    p->Release();
}

}  // namespace
