// Every member of every class with each wrong kind of argument: the call fails
// or succeeds cleanly, and leaves no object, handle or memory behind (the
// sanitizer suite runs this under LeakSanitizer, which checks the heap at exit).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "frame/com.hpp"
#include "platform/gdi/gdi.hpp"
#include "platform/mci/mci.hpp"

using namespace t2;

namespace {

int quiet_box(void*, const char*, const char*, int) { return 1; }

// The wrong kinds of value, each in every argument of a member.
enum class Wrong { Nothing, Null, Empty, WrongObject, OutOfRange, Text, Negative };
const char* name_of(Wrong w) {
    static const char* const names[] = {
        "Nothing", "Null", "Empty", "a wrong object", "an out-of-range number", "a text", "a negative number"};
    return names[static_cast<int>(w)];
}

VARIANT make(Wrong w) {
    VARIANT v;
    VariantInit(&v);
    switch (w) {
        case Wrong::Nothing:
            v.vt = VT_DISPATCH;
            v.pdispVal = nullptr;
            break;
        case Wrong::Null: v.vt = VT_NULL; break;
        case Wrong::Empty: break;
        case Wrong::WrongObject: {
            // an object of the library that is not a picture, a list box or a section
            IUnknown* unk = find_class("TAVOLIN2.clsQELCompany")->create();
            v.vt = VT_DISPATCH;
            unk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&v.pdispVal));
            unk->Release();
            break;
        }
        case Wrong::OutOfRange:
            v.vt = VT_R8;
            v.dblVal = 1e12;
            break;
        case Wrong::Text:
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocString(u"zz");
            break;
        case Wrong::Negative:
            v.vt = VT_I4;
            v.lVal = -7;
            break;
    }
    return v;
}

// Leaks on error paths: SaveGIF, CreateFromPicture of a non-picture, Create with an
// object as a number and ListNoChar with bad controls leaked after returning 438/13.
TEST(LeakTable, EveryMemberWithEachWrongTypeLeavesNothing) {
    T2SetMessageBoxHandler(&quiet_box, nullptr);
    mci::use_simulation(true);
    // members that take file names write there: a folder of the test's own
    std::string dir = testing::TempDir() + "/t2-leaks-XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);

    size_t count = 0;
    const ClassInfo* const* classes = all_classes(count);
    int calls = 0;
    for (size_t c = 0; c < count; ++c) {
        const InterfaceSpec& table = *classes[c]->table;
        for (size_t m = 0; m < table.count; ++m) {
            const MemberSpec& member = table.members[m];
            for (Wrong w : {Wrong::Nothing, Wrong::Null, Wrong::Empty, Wrong::WrongObject, Wrong::OutOfRange,
                            Wrong::Text, Wrong::Negative}) {
                SCOPED_TRACE(std::string(classes[c]->progid) + "." + to_utf8(member.name) + " with " + name_of(w));
                // a wait of 10^12 seconds is what was asked for, not a fault
                if (w == Wrong::OutOfRange && std::u16string_view(member.name) == u"timeOut") continue;
                const long objects = live_objects();
                const size_t handles = gdi::object_count();
                IUnknown* unk = classes[c]->create();
                IDispatch* d = nullptr;
                unk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
                unk->Release();
                const size_t n = member.kind == Kind::Let ? member.params.size() + 1 : member.params.size();
                std::vector<VARIANT> args;
                for (size_t i = 0; i < std::max<size_t>(n, 1); ++i) args.push_back(make(w));
                DISPID put = DISPID_PROPERTYPUT;
                DISPPARAMS dp{args.data(), member.kind == Kind::Let ? &put : nullptr, static_cast<UINT>(n),
                              member.kind == Kind::Let ? 1u : 0u};
                WORD flags = member.kind == Kind::Get   ? DISPATCH_PROPERTYGET
                             : member.kind == Kind::Let ? DISPATCH_PROPERTYPUT
                                                        : DISPATCH_METHOD;
                VARIANT result;
                VariantInit(&result);
                EXCEPINFO ei{};
                UINT arg_err = 0;
                HRESULT hr = d->Invoke(member.id, IID_NULL, 0x0409, flags, &dp, &result, &ei, &arg_err);
                if (hr == DISP_E_EXCEPTION) {
                    SysFreeString(ei.bstrSource);
                    SysFreeString(ei.bstrDescription);
                    SysFreeString(ei.bstrHelpFile);
                }
                EXPECT_NE(hr, E_UNEXPECTED);  // no stray exception reached the frame
                VariantClear(&result);
                for (auto& a : args) VariantClear(&a);
                d->Release();
                IErrorInfo* info = nullptr;
                if (GetErrorInfo(0, &info) == S_OK) info->Release();
                mci::mciSendStringA("close all", nullptr, 0, 0);
                if (gdi::OpenClipboard(0)) {  // a bitmap the clipboard took is the clipboard's
                    gdi::EmptyClipboard();
                    gdi::CloseClipboard();
                }
                EXPECT_EQ(live_objects(), objects);
                EXPECT_EQ(gdi::object_count(), handles);
                ++calls;
            }
        }
    }
    EXPECT_GT(calls, 7 * 140);
    ASSERT_EQ(chdir(here), 0);
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
