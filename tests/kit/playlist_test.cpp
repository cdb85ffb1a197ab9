// Play lists through the host's ListBox: files, titles, refusals.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "kit/list_box.hpp"

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

std::string read_all(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
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
    EXPECT_EQ(read_all(path), "a\r\nb\r\n");
    ListBox* none = ListBox::make();
    VARIANT box3 = holding(none);
    ASSERT_EQ(p->MP3SavePlayList(&file, &box3, &r), S_OK);
    EXPECT_EQ(read_all(path), "");
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
    EXPECT_EQ(paths->entries(), (std::vector<std::string>{"C:\\Music\\my.song.mp3", "D:\\a.b\\readme", "track", "my.song", "", ""}));
    IDispatch* nothing = nullptr;
    EXPECT_EQ(p->ListNoChar(&a, &nothing), static_cast<HRESULT>(T2_ERROR_STATUS(91)));
    for (BSTR s : {file, missing, empty}) SysFreeString(s);
    for (ListBox* l : {list, two, none, lf, paths}) l->Release();
    p->Release();
}

TEST(PlayList, FileNames) {
    _MP3Class* p = player();
    struct { const char16_t* in; const char16_t* out; } cases[] = {
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
