// The exported entry points: class factories, unloading, registration, and the
// implicit instances of the application objects.
#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <new>

#include "com.hpp"
#include "frame/entry.hpp"
#include "platform/registry.hpp"
#include "tavolin2/version.h"

namespace t2 {
namespace {

// One factory per class, living as long as the library; factories are not
// objects for DllCanUnloadNow, only their locks count.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const ClassInfo* info) : info_(info) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        IUnknown* obj = nullptr;
        try {
            obj = info_->create();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
        HRESULT hr = obj->QueryInterface(riid, ppv);
        obj->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(T2BOOL lock) override {
        server_lock(lock != 0);
        return S_OK;
    }

private:
    const ClassInfo* info_;
};

ClassFactory* factory_for(const ClassInfo* info) {
    size_t n = 0;
    const ClassInfo* const* all = all_classes(n);
    static ClassFactory* factories = [] {
        size_t count = 0;
        const ClassInfo* const* list = all_classes(count);
        auto* f = static_cast<ClassFactory*>(::operator new(sizeof(ClassFactory) * count));
        for (size_t i = 0; i < count; ++i) new (&f[i]) ClassFactory(list[i]);
        return f;
    }();
    for (size_t i = 0; i < n; ++i)
        if (all[i] == info) return &factories[i];
    return nullptr;
}

#ifndef _WIN32
// On Windows the registration is in win/register_win.cpp.
// The library's file as registrations record it: the folder it was loaded
// from (links resolved) with the soname (libtavolin2.so.2), not the file of
// one release, so an upgrade within the major version keeps working.
std::string library_path() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) && info.dli_fname) {
        char buf[4096];
        if (!realpath(info.dli_fname, buf)) return info.dli_fname;
        std::string file = buf;
#ifdef TAVOLIN2_SONAME
        std::string soname = std::string(file.substr(0, file.find_last_of('/') + 1)) + TAVOLIN2_SONAME;
        char same[4096];
        if (realpath(soname.c_str(), same) && file == same) return soname;
#endif
        return file;
    }
    return "libtavolin2.so";
}

std::vector<platform::RegistryKey> registration_keys() {
    std::vector<platform::RegistryKey> keys;
    const std::string lib = guid_text(LIBID_TAVOLIN2);
    const std::string path = library_path();
    size_t n = 0;
    const ClassInfo* const* all = all_classes(n);
    for (size_t i = 0; i < n; ++i) {
        const ClassInfo* c = all[i];
        const std::string clsid = guid_text(*c->clsid);
        keys.push_back({"CLSID\\" + clsid,
                        {{"@", to_utf8(c->name)},
                         {"ProgID", c->progid},
                         {"InprocServer32", path},
                         {"ThreadingModel", "Apartment"},
                         {"TypeLib", lib},
                         {"Version", "1.0"},
                         {"Instancing", c->app_object ? "AppObject" : "Creatable"}}});
        keys.push_back({c->progid, {{"@", to_utf8(c->name)}, {"CLSID", clsid}}});
        const std::string ifname = "_" + to_utf8(c->name);
        keys.push_back({"Interface\\" + guid_text(*c->iid),
                        {{"@", ifname}, {"TypeLib", lib}, {"Version", "1.0"}, {"Kind", "dual"}}});
    }
    keys.push_back({"Interface\\" + guid_text(DIID___GIF),
                    {{"@", "__GIF"}, {"TypeLib", lib}, {"Version", "1.0"}, {"Kind", "dispinterface"}}});
    keys.push_back({"Interface\\" + guid_text(DIID___cPalette),
                    {{"@", "__cPalette"}, {"TypeLib", lib}, {"Version", "1.0"}, {"Kind", "dispinterface"}}});
    keys.push_back(
        {"TypeLib\\" + lib + "\\1.0",
         {{"@", "TAVOLIN2"}, {"LCID", "0409"}, {"Path", path}, {"Flags", "0"}, {"FileVersion", T2_VERSION_STRING}}});
    return keys;
}

#endif

}  // namespace

ComPtr<IDispatch> app_object(const CLSID& clsid) {
    // One implicit instance per client thread, created on first use.
    struct Slot {
        const CLSID* clsid;
        ComPtr<IDispatch> obj;
    };
    thread_local std::vector<Slot> slots;
    for (auto& s : slots)
        if (*s.clsid == clsid) return s.obj;
    const ClassInfo* info = find_class(clsid);
    if (!info || !info->app_object) return {};
    IUnknown* u = info->create();
    IDispatch* d = nullptr;
    u->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
    u->Release();
    slots.push_back({info->clsid, ComPtr<IDispatch>::adopt(d)});
    return slots.back().obj;
}

}  // namespace t2

T2_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    const t2::ClassInfo* info = t2::find_class(rclsid);
    if (!info) return CLASS_E_CLASSNOTAVAILABLE;
    try {
        return t2::factory_for(info)->QueryInterface(riid, ppv);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

T2_API HRESULT DllCanUnloadNow(void) { return (t2::live_objects() == 0 && t2::server_locks() == 0) ? S_OK : S_FALSE; }

#ifndef _WIN32
namespace {
// The registry update's result; a failure's message (the file or the missing
// home, and the system's reason) goes to the thread's error info.
HRESULT registered(bool ok, const std::string& error) {
    if (ok) {
        t2::clear_thread_error();
        return S_OK;
    }
    t2::set_thread_error(u"tavolin2", t2::from_utf8(error.empty() ? "cannot write the registry" : error));
    return SELFREG_E_CLASS;
}
}  // namespace

T2_API HRESULT DllRegisterServer(void) {
    try {
        std::string error;
        bool ok = t2::platform::registry_update(t2::registration_keys(), {}, &error);
        return registered(ok, error);
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

T2_API HRESULT DllUnregisterServer(void) {
    try {
        std::vector<std::string> names;
        for (auto& k : t2::registration_keys()) names.push_back(k.name);
        std::string error;
        bool ok = t2::platform::registry_update({}, names, &error);
        return registered(ok, error);
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

#endif

T2_API HRESULT T2GetAppObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    try {
        auto obj = t2::app_object(rclsid);
        if (!obj) return t2::find_class(rclsid) ? CLASS_E_CLASSNOTAVAILABLE : REGDB_E_CLASSNOTREG;
        return obj->QueryInterface(riid, ppv);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

#ifndef _WIN32
// The registry file's lookups; on Windows clients use CLSIDFromProgID and CoCreateInstance.
T2_API HRESULT T2CLSIDFromProgID(const char* progid, CLSID* clsid) {
    if (!progid || !clsid) return E_INVALIDARG;
    if (const t2::ClassInfo* c = t2::find_class(std::string_view(progid))) {
        *clsid = *c->clsid;
        return S_OK;
    }
    // Another library's class, known only through the registry.
    if (auto v = t2::platform::registry_value(progid, "CLSID"))
        if (auto g = t2::parse_guid(*v)) {
            *clsid = *g;
            return S_OK;
        }
    return t2::platform::registry_refusal().empty() ? REGDB_E_CLASSNOTREG : E_ACCESSDENIED;
}

T2_API HRESULT T2CoCreateInstance(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
    GetClassObject get = &DllGetClassObject;
    if (!t2::find_class(rclsid)) {
        auto path = t2::platform::registry_value("CLSID\\" + t2::guid_text(rclsid), "InprocServer32");
        if (!path) return t2::platform::registry_refusal().empty() ? REGDB_E_CLASSNOTREG : E_ACCESSDENIED;
        void* lib = t2::platform::load_registered_library(*path);  // stays loaded: its objects may live on
        if (!lib) return t2::platform::registry_refusal().empty() ? REGDB_E_CLASSNOTREG : E_ACCESSDENIED;
        get = reinterpret_cast<GetClassObject>(dlsym(lib, "DllGetClassObject"));
        if (!get) return REGDB_E_CLASSNOTREG;
    }
    IClassFactory* factory = nullptr;
    HRESULT hr = get(rclsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, riid, ppv);
    factory->Release();
    return hr;
}

#endif

T2_API LONG T2DescribeStatus(HRESULT hr, BSTR* description) {
    LONG n = t2::error_number_of(hr);
    if (description) {
        t2::String d;
        if (T2_IS_ERROR_STATUS(hr) || n != hr)
            d = t2::error_description(n);
        else
            d = t2::from_utf8("platform status " +
                              t2::guid_text(GUID{static_cast<uint32_t>(hr), 0, 0, {}}).substr(1, 8));
        *description = SysAllocStringLen(d.data(), static_cast<UINT>(d.size()));
    }
    return n;
}

namespace {
const t2::InterfaceSpec* table_of(REFCLSID rclsid) {
    const t2::ClassInfo* c = t2::find_class(rclsid);
    return c ? c->table : nullptr;
}
}  // namespace

T2_API UINT T2GetMemberCount(REFCLSID rclsid) {
    const t2::InterfaceSpec* s = table_of(rclsid);
    return s ? static_cast<UINT>(s->count) : 0;
}

T2_API HRESULT T2GetMemberInfo(REFCLSID rclsid, UINT index, T2MemberInfo* info) {
    const t2::InterfaceSpec* s = table_of(rclsid);
    if (!s) return CLASS_E_CLASSNOTAVAILABLE;
    if (!info) return E_POINTER;
    if (index >= s->count) return DISP_E_BADINDEX;
    const t2::MemberSpec& m = s->members[index];
    *info = T2MemberInfo{m.name,
                         m.id,
                         static_cast<int>(m.kind),
                         static_cast<int>(m.result),
                         7 + index,
                         static_cast<UINT>(m.params.size())};
    return S_OK;
}

T2_API HRESULT T2GetParamInfo(REFCLSID rclsid, UINT member, UINT param, T2ParamInfo* info) {
    const t2::InterfaceSpec* s = table_of(rclsid);
    if (!s) return CLASS_E_CLASSNOTAVAILABLE;
    if (!info) return E_POINTER;
    if (member >= s->count || param >= s->members[member].params.size()) return DISP_E_BADINDEX;
    const t2::ParamSpec& p = s->members[member].params.begin()[param];
    *info = T2ParamInfo{p.name, static_cast<int>(p.type), p.by_ref, p.def != t2::Default::Required, {}};
    VARIANT& d = info->default_value;
    VariantInit(&d);
    if (p.def == t2::Default::Value) {
        d.vt = t2::vartype_of(p.type);
        if (d.vt == VT_BOOL)
            d.boolVal = p.def_value ? VARIANT_TRUE : VARIANT_FALSE;
        else if (d.vt == VT_I2)
            d.iVal = static_cast<SHORT>(p.def_value);
        else if (d.vt == VT_UI1)
            d.bVal = static_cast<BYTE>(p.def_value);
        else {
            d.vt = VT_I4;
            d.lVal = p.def_value;
        }
    } else if (p.def == t2::Default::Text) {
        d.bstrVal = SysAllocString(p.def_text);
        if (!d.bstrVal) return E_OUTOFMEMORY;
        d.vt = VT_BSTR;
    }
    return S_OK;
}

T2_API const char* T2TypeName(int type) {
    static thread_local std::string name;
    if (type < 0 || type > static_cast<int>(t2::Type::Color)) return "?";
    name = t2::to_utf8(t2::type_name(static_cast<t2::Type>(type)));
    return name.c_str();
}

#ifndef _WIN32
T2_API const char* T2RegistryPath(void) {
    static thread_local std::string path;
    path = t2::platform::registry_path();
    return path.c_str();
}

T2_API const char* T2RegistryRefusal(void) { return t2::platform::registry_refusal().c_str(); }
#endif
