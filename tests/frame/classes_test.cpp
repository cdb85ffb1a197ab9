// The nine registered classes: creation by id and name, interfaces, and the
// classes without members of their own.
#include <gtest/gtest.h>

#include <thread>

#include "frame/com.hpp"
#include "frame/entry.hpp"
#include "frame/plain_classes.hpp"
#include "support/recorder.hpp"

using namespace t2;

namespace {

struct ClassCase {
    const char* progid;
    const CLSID* clsid;
    const IID* iid;
    size_t members;
    bool app_object;
};
const ClassCase kClasses[] = {
    {"TAVOLIN2.clsTavolin2", &CLSID_clsTavolin2, &IID__clsTavolin2, 0, false},
    {"TAVOLIN2.clsQELPictureViewer", &CLSID_clsQELPictureViewer, &IID__clsQELPictureViewer, 0, false},
    {"TAVOLIN2.clsQELCompany", &CLSID_clsQELCompany, &IID__clsQELCompany, 1, true},
    {"TAVOLIN2.MP3Class", &CLSID_MP3Class, &IID__MP3Class, 18, false},
    {"TAVOLIN2.MovieModule", &CLSID_MovieModule, &IID__MovieModule, 72, false},
    {"TAVOLIN2.clsBCAT175", &CLSID_clsBCAT175, &IID__clsBCAT175, 20, false},
    {"TAVOLIN2.GIF", &CLSID_GIF, &IID__GIF, 3, true},
    {"TAVOLIN2.cDIBSection", &CLSID_cDIBSection, &IID__cDIBSection, 17, false},
    {"TAVOLIN2.cPalette", &CLSID_cPalette, &IID__cPalette, 12, false},
};

TEST(Classes, EachIsCreatableByIdAndByName) {
    for (const ClassCase& c : kClasses) {
        SCOPED_TRACE(c.progid);
        CLSID by_name{};
        ASSERT_EQ(T2CLSIDFromProgID(c.progid, &by_name), S_OK);
        EXPECT_TRUE(by_name == *c.clsid);
        std::string lower = c.progid;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_EQ(T2CLSIDFromProgID(lower.c_str(), &by_name), S_OK);

        IUnknown* unk = nullptr;
        ASSERT_EQ(T2CoCreateInstance(*c.clsid, *c.iid, reinterpret_cast<void**>(&unk)), S_OK);
        IDispatch* d = nullptr;
        IUnknown* u2 = nullptr;
        ASSERT_EQ(unk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
        ASSERT_EQ(unk->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u2)), S_OK);
        EXPECT_EQ(static_cast<void*>(d), static_cast<void*>(unk));  // the default interface is the identity
        EXPECT_EQ(static_cast<void*>(u2), static_cast<void*>(unk));
        void* other = reinterpret_cast<void*>(1);
        EXPECT_EQ(unk->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
        EXPECT_EQ(other, nullptr);
        ISupportErrorInfo* sei = nullptr;
        ASSERT_EQ(unk->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei)), S_OK);
        EXPECT_EQ(sei->InterfaceSupportsErrorInfo(*c.iid), S_OK);
        sei->Release();
        EXPECT_EQ(T2GetMemberCount(*c.clsid), c.members);
        const ClassInfo* info = find_class(*c.clsid);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->app_object, c.app_object);
        u2->Release();
        d->Release();
        EXPECT_EQ(unk->Release(), 0u);
    }
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(Classes, IdentifiersAreTwentyTwoAndDistinct) {
    std::vector<GUID> ids = {LIBID_TAVOLIN2, DIID___GIF, DIID___cPalette, GUID_QELCompanyInformationTypeConstants};
    for (const ClassCase& c : kClasses) {
        ids.push_back(*c.clsid);
        ids.push_back(*c.iid);
    }
    ASSERT_EQ(ids.size(), 22u);
    for (size_t i = 0; i < ids.size(); ++i)
        for (size_t k = i + 1; k < ids.size(); ++k) EXPECT_FALSE(ids[i] == ids[k]) << i << " " << k;
    EXPECT_EQ(guid_text(LIBID_TAVOLIN2), "{B958D132-98A7-476C-AF60-390B6DD41467}");  // never changes
    EXPECT_TRUE(*parse_guid(guid_text(CLSID_cPalette)) == CLSID_cPalette);
    EXPECT_FALSE(parse_guid("{B958D132-98A7-476C-AF60-390B6DD4146Z}").has_value());
}

TEST(Classes, FactoriesRefuseWhatTheyCannotMake) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(DllGetClassObject(IID_IDispatch, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(DllGetClassObject(CLSID_cPalette, IID_IDispatch, &p), E_NOINTERFACE);
    IClassFactory* f = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_cPalette, IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
    t2test::Sink outer(IID_IUnknown);
    EXPECT_EQ(f->CreateInstance(&outer, IID_IUnknown, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IClassFactory, &p), E_NOINTERFACE);
    EXPECT_EQ(f->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    f->Release();
    CLSID c;
    EXPECT_EQ(T2CLSIDFromProgID("TAVOLIN2.Nothing", &c), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(Classes, PlainClassesAnswerOnlyTheBasicOperations) {
    for (const CLSID* id : {&CLSID_clsTavolin2, &CLSID_clsQELPictureViewer}) {
        auto d = t2test::create(*id);
        for (const char16_t* name : {u"Anything", u"Create", u"GetQELCompanyInformation"}) {
            LPOLESTR n = const_cast<LPOLESTR>(name);
            DISPID dispid = 0;
            EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &n, 1, 0, &dispid), DISP_E_UNKNOWNNAME);
            EXPECT_EQ(dispid, DISPID_UNKNOWN);
        }
        UINT count = 5;
        EXPECT_EQ(d->GetTypeInfoCount(&count), S_OK);
        EXPECT_EQ(count, 1u);  // type information with no members of their own
        ITypeInfo* info = nullptr;
        ASSERT_EQ(d->GetTypeInfo(0, 0, &info), S_OK);
        TYPEATTR* attr = nullptr;
        info->GetTypeAttr(&attr);
        EXPECT_EQ(attr->cFuncs, 0);
        info->ReleaseTypeAttr(attr);
        info->Release();
        IConnectionPointContainer* cpc = nullptr;
        EXPECT_EQ(d->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)), E_NOINTERFACE);
    }
    EXPECT_EQ(std::u16string(kFrmQELPictureViewer.caption), u"Brevant Picture Viewer");
    EXPECT_EQ(kFrmQELPictureViewer.client_width, 6585);
}

TEST(Classes, EventSourcesOfferTheirPoints) {
    struct {
        const CLSID* clsid;
        const IID* events;
    } cases[] = {{&CLSID_GIF, &DIID___GIF}, {&CLSID_cPalette, &DIID___cPalette}};
    for (auto c : cases) {
        auto d = t2test::create(*c.clsid);
        auto cpc = d.query<IConnectionPointContainer>(IID_IConnectionPointContainer);
        ASSERT_TRUE(cpc);
        IEnumConnectionPoints* e = nullptr;
        ASSERT_EQ(cpc->EnumConnectionPoints(&e), S_OK);
        IConnectionPoint* cp = nullptr;
        ULONG got = 0;
        EXPECT_EQ(e->Next(1, &cp, &got), S_OK);
        IID iid{};
        cp->GetConnectionInterface(&iid);
        EXPECT_TRUE(iid == *c.events);
        cp->Release();
        EXPECT_EQ(e->Next(1, &cp, &got), S_FALSE);
        e->Release();
    }
}

TEST(Classes, AnApplicationObjectHasOneImplicitInstancePerThread) {
    std::thread([] {
        IDispatch* a = nullptr;
        IDispatch* b = nullptr;
        ASSERT_EQ(T2GetAppObject(CLSID_clsQELCompany, IID_IDispatch, reinterpret_cast<void**>(&a)), S_OK);
        ASSERT_EQ(T2GetAppObject(CLSID_clsQELCompany, IID_IDispatch, reinterpret_cast<void**>(&b)), S_OK);
        EXPECT_EQ(a, b);
        a->Release();
        b->Release();
        void* p = nullptr;
        EXPECT_EQ(T2GetAppObject(CLSID_cPalette, IID_IDispatch, &p), CLASS_E_CLASSNOTAVAILABLE);
    }).join();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);  // it ended with its thread
}

}  // namespace
