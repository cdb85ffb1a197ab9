// The embedded type library, loaded once per process by the automation runtime.
#include "platform/typelib.hpp"

#include <mutex>

#include "platform/registry.hpp"
#include "platform/win/wide.hpp"

#include <oleauto.h>

namespace t2::platform {

long embedded_type_info(const std::string& guid, void** type_info) {
    if (!type_info) return E_POINTER;
    *type_info = nullptr;
    static std::mutex lock;
    static ITypeLib* lib = nullptr;  // kept for the life of the process, as the runtime caches it too
    static HRESULT loaded = E_FAIL;
    {
        std::lock_guard<std::mutex> hold(lock);
        if (!lib) loaded = ::LoadTypeLibEx(win::wide(module_path()).c_str(), REGKIND_NONE, &lib);
    }
    if (FAILED(loaded)) return loaded;
    GUID id;
    HRESULT hr = ::CLSIDFromString(win::wide(guid).c_str(), &id);
    if (FAILED(hr)) return hr;
    ITypeInfo* info = nullptr;
    hr = lib->GetTypeInfoOfGuid(id, &info);
    if (FAILED(hr)) return hr;
    *type_info = info;
    return S_OK;
}

}  // namespace t2::platform
