// Registration in the platform's registry: for each class its CLSID key with
// InprocServer32 (this DLL, ThreadingModel Apartment), ProgID, VERSION and
// TypeLib, and the programmatic name's key; the type library (version 1.0,
// locale 0x0409, and the neutral locale 0 beside it for the platform's
// marshallers) and its interfaces are registered by the automation runtime
// from the DLL's TYPELIB resource, under win32 or win64 as the DLL is built,
// so the 32-bit and the 64-bit DLL can be registered side by side.
// Unregistration removes exactly these; unregistering what is not registered
// succeeds.
// DllInstall with "user" (regsvr32 /n /i:user) does either below the user's
// own classes key, without administrator rights (the automation runtime is
// told to write the type library's keys there as well).
#include "frame/com.hpp"
#include "platform/registry.hpp"

namespace t2 {
namespace {

std::vector<platform::RegistryKey> class_keys(const std::string& module) {
    std::vector<platform::RegistryKey> keys;
    const std::string lib = guid_text(LIBID_TAVOLIN2);
    size_t n = 0;
    const ClassInfo* const* all = all_classes(n);
    for (size_t i = 0; i < n; ++i) {
        const ClassInfo* c = all[i];
        const std::string clsid = "CLSID\\" + guid_text(*c->clsid);
        const std::string name = to_utf8(c->name);
        keys.push_back({clsid, {{"@", c->progid}}});
        keys.push_back({clsid + "\\InprocServer32", {{"@", module}, {"ThreadingModel", "Apartment"}}});
        keys.push_back({clsid + "\\ProgID", {{"@", c->progid}}});
        keys.push_back({clsid + "\\VERSION", {{"@", "1.0"}}});
        keys.push_back({clsid + "\\TypeLib", {{"@", lib}}});
        keys.push_back({clsid + "\\Programmable", {}});
        keys.push_back({c->progid, {{"@", c->progid}}});
        keys.push_back({std::string(c->progid) + "\\CLSID", {{"@", guid_text(*c->clsid)}}});
    }
    return keys;
}

// The top keys of the classes: removing them removes their subkeys.
std::vector<std::string> class_roots() {
    std::vector<std::string> names;
    size_t n = 0;
    const ClassInfo* const* all = all_classes(n);
    for (size_t i = 0; i < n; ++i) {
        names.push_back("CLSID\\" + guid_text(*all[i]->clsid));
        names.push_back(all[i]->progid);
    }
    return names;
}

}  // namespace
}  // namespace t2

T2_API HRESULT T2_WINAPI DllRegisterServer(void) {
    try {
        const std::string module = t2::platform::module_path();
        HRESULT hr = static_cast<HRESULT>(t2::platform::register_type_library(module));
        if (FAILED(hr)) return SELFREG_E_TYPELIB;
        return t2::platform::registry_update(t2::class_keys(module), {}) ? S_OK : SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

T2_API HRESULT T2_WINAPI DllUnregisterServer(void) {
    try {
        bool classes = t2::platform::registry_update({}, t2::class_roots());
        HRESULT hr = static_cast<HRESULT>(t2::platform::unregister_type_library(t2::platform::module_path()));
        // a type library that is not registered is not a failure of unregistration
        if (FAILED(hr) && hr != static_cast<HRESULT>(0x8002801C) /* TYPE_E_REGISTRYACCESS */ &&
            hr != static_cast<HRESULT>(0x80029C4A) /* TYPE_E_CANTLOADLIBRARY */)
            return SELFREG_E_TYPELIB;
        return classes ? S_OK : SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

// regsvr32 /n /i:user tavolin2.dll registers for the current user only; /u /n
// /i:user removes that registration.  Any other command line is refused.
T2_API HRESULT T2_WINAPI DllInstall(T2BOOL install, const OLECHAR* command_line) {
    if (!command_line || !t2::equal_nocase(command_line, u"user")) return E_INVALIDARG;
    if (!t2::platform::classes_root_per_user(true)) return SELFREG_E_CLASS;
    HRESULT hr = install ? DllRegisterServer() : DllUnregisterServer();
    t2::platform::classes_root_per_user(false);
    return hr;
}
