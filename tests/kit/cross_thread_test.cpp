// A worker thread calls the main thread's objects through proxies and hands
// them objects of its own (a picture box, list boxes, a section, a picture),
// by value and by reference, early- and late-bound: the owner's calls on those
// objects must come back to the worker's thread, where the objects answer.
// The kit's objects refuse a call from another thread, so a call that ran on
// the wrong thread shows as a failure.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <thread>

#include "tavolin2/tavolin2.h"
#include "kit/list_box.hpp"
#include "kit/picture.hpp"
#include "kit/picture_box.hpp"
#include "support/pumping.hpp"

namespace {

using t2test::on_worker_while_pumping;

template <class I>
I* create_here(const CLSID& clsid, const IID& iid) {
    I* p = nullptr;
    EXPECT_EQ(T2CoCreateInstance(clsid, iid, reinterpret_cast<void**>(&p)), S_OK);
    return p;
}

// How an object argument is sent.
enum class Form { Early, LateByValue, LateByRef, LateVariantByRef };
const char* form_name(Form f) {
    switch (f) {
        case Form::Early: return "early-bound";
        case Form::LateByValue: return "late-bound, VT_DISPATCH";
        case Form::LateByRef: return "late-bound, VT_BYREF|VT_DISPATCH";
        default: return "late-bound, VT_BYREF|VT_VARIANT";
    }
}

// A late-bound argument holding `*obj` in the form asked for; `inner` keeps the variant a
// VT_BYREF|VT_VARIANT points at.
VARIANT object_arg(Form f, IDispatch** obj, VARIANT& inner) {
    VARIANT v;
    VariantInit(&v);
    if (f == Form::LateByRef) {
        v.vt = VT_BYREF | VT_DISPATCH;
        v.ppdispVal = obj;
    } else if (f == Form::LateVariantByRef) {
        VariantInit(&inner);
        inner.vt = VT_DISPATCH;
        inner.pdispVal = *obj;
        v.vt = VT_BYREF | VT_VARIANT;
        v.pvarVal = &inner;
    } else {
        v.vt = VT_DISPATCH;
        v.pdispVal = *obj;
    }
    return v;
}
VARIANT text_arg(BSTR* b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_BSTR;
    v.pbstrVal = b;
    return v;
}

// Calls `member` with `args` in call order; the status.
HRESULT late(IDispatch* obj, const char16_t* member, std::vector<VARIANT> args) {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    HRESULT hr = obj->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS dp{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    VARIANT result;
    VariantInit(&result);
    hr = obj->Invoke(id, IID_NULL, 0x0409, DISPATCH_METHOD, &dp, &result, nullptr, nullptr);
    VariantClear(&result);
    return hr;
}

template <class I>
I* hand_over_to_worker(IUnknown* stream, const IID& iid) {
    I* p = nullptr;
    EXPECT_EQ(T2GetInterfaceAndReleaseStream(stream, iid, reinterpret_cast<void**>(&p)), S_OK);
    return p;
}

IUnknown* stream_of(IUnknown* obj, const IID& iid) {
    IUnknown* s = nullptr;
    EXPECT_EQ(T2MarshalInterThreadInterfaceInStream(iid, obj, &s), S_OK);
    return s;
}

const Form kForms[] = {Form::Early, Form::LateByValue, Form::LateByRef, Form::LateVariantByRef};

TEST(CallersObjects, ABarcodeIsDrawnOnTheWorkersPictureBox) {
    for (Form f : kForms) {
        SCOPED_TRACE(form_name(f));
        _clsBCAT175* bc = create_here<_clsBCAT175>(CLSID_clsBCAT175, IID__clsBCAT175);
        IUnknown* s = stream_of(bc, IID__clsBCAT175);
        HRESULT hr = E_FAIL;
        int width = 0;
        on_worker_while_pumping([&] {
            _clsBCAT175* p = hand_over_to_worker<_clsBCAT175>(s, IID__clsBCAT175);
            kit::PictureBox* box = kit::PictureBox::make(300, 100);
            IDispatch* target = box;
            BSTR text = SysAllocString(u"A"), caption = SysAllocString(u"caption");
            if (f == Form::Early) {
                VARIANT r;
                VariantInit(&r);
                hr = p->Barcode39Draw(&text, &caption, &target, &r);
                VariantClear(&r);
            } else {
                VARIANT inner;
                hr = late(p, u"Barcode39Draw", {text_arg(&text), text_arg(&caption), object_arg(f, &target, inner)});
            }
            EXPECT_EQ(target, static_cast<IDispatch*>(box));  // a by-reference object the member keeps stays
            width = box->inner_width();
            SysFreeString(text);
            SysFreeString(caption);
            box->Release();
            p->Release();
        });
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(width, 41);  // one letter drawn
        bc->Release();
    }
}

TEST(CallersObjects, APaletteIsMadeFromTheWorkersSection) {
    for (Form f : kForms) {
        SCOPED_TRACE(form_name(f));
        _cPalette* pal = create_here<_cPalette>(CLSID_cPalette, IID__cPalette);
        IUnknown* s = stream_of(pal, IID__cPalette);
        HRESULT hr = E_FAIL;
        on_worker_while_pumping([&] {
            _cPalette* p = hand_over_to_worker<_cPalette>(s, IID__cPalette);
            _cDIBSection* dib = create_here<_cDIBSection>(CLSID_cDIBSection, IID__cDIBSection);  // the worker's own
            VARIANT_BOOL made = VARIANT_FALSE;
            dib->Create(32, 32, &made);
            dib->RandomiseBits(VARIANT_FALSE);
            _cDIBSection* own = dib;
            if (f == Form::Early) {
                hr = p->CreateOptimal(&dib, 236, 6);
            } else {
                IDispatch* d = dib;
                VARIANT inner;
                VARIANT size;
                VariantInit(&size);
                size.vt = VT_I4;
                size.lVal = 236;
                hr = late(p, u"CreateOptimal", {object_arg(f, &d, inner), size});
            }
            own->Release();
            p->Release();
        });
        EXPECT_EQ(hr, S_OK);
        LONG count = 0;
        EXPECT_EQ(pal->get_Count(&count), S_OK);
        EXPECT_GT(count, 1);
        pal->Release();
    }
}

TEST(CallersObjects, PlayListsFillAndReadTheWorkersListBoxes) {
    const std::string file = testing::TempDir() + "/t2-cross.m3u";
    std::ofstream(file, std::ios::binary) << "one.mp3\r\ntwo.mp3\r\nthree.mp3\r\n";
    for (Form f : kForms) {
        SCOPED_TRACE(form_name(f));
        _MP3Class* mp3 = create_here<_MP3Class>(CLSID_MP3Class, IID__MP3Class);
        IUnknown* s = stream_of(mp3, IID__MP3Class);
        HRESULT opened = E_FAIL, copied = E_FAIL;
        size_t read = 0, copies = 0;
        on_worker_while_pumping([&] {
            _MP3Class* p = hand_over_to_worker<_MP3Class>(s, IID__MP3Class);
            kit::ListBox* list = kit::ListBox::make();
            kit::ListBox* other = kit::ListBox::make();
            IDispatch* a = list;
            IDispatch* b = other;
            BSTR name = SysAllocStringUTF8(file.c_str());
            if (f == Form::Early) {
                VARIANT box, r;
                VariantInit(&box);
                VariantInit(&r);
                box.vt = VT_DISPATCH;
                box.pdispVal = a;
                opened = p->MP3OpenPlayList(&name, &box, &r);
                VariantClear(&r);
                copied = p->ListNoChar(&b, &a);  // the titles of a's entries into b
            } else {
                VARIANT inner, inner2;
                opened = late(p, u"MP3OpenPlayList", {text_arg(&name), object_arg(f, &a, inner)});
                VARIANT first = object_arg(f, &a, inner), second = object_arg(f, &b, inner2);
                copied = late(p, u"ListNoChar", {second, first});
            }
            read = list->entries().size();
            copies = other->entries().size();
            SysFreeString(name);
            list->Release();
            other->Release();
            p->Release();
        });
        EXPECT_EQ(opened, S_OK);
        EXPECT_EQ(read, 3u);
        EXPECT_EQ(copied, S_OK);
        EXPECT_EQ(copies, 3u);
        mp3->Release();
    }
}

// A kit object called from a thread that did not make it refuses.
TEST(CallersObjects, AKitObjectCalledFromAnotherThreadRefuses) {
    kit::ListBox* list = kit::ListBox::make({"a"});
    HRESULT names = S_OK, call = S_OK;
    std::thread([&] {
        DISPID id = 0;
        LPOLESTR name = const_cast<LPOLESTR>(u"ListCount");
        names = list->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id);
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        call = list->Invoke(1, IID_NULL, 0x0409, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr);
    }).join();
    EXPECT_EQ(names, RPC_E_WRONG_THREAD);
    EXPECT_EQ(call, RPC_E_WRONG_THREAD);
    list->Release();
}

}  // namespace
