// Type information on Windows: the entries of the embedded type library (made
// by widl from the member rows), as the automation runtime loads them.
#include "frame/typeinfo.hpp"

#include "frame/guids.hpp"
#include "platform/typelib.hpp"

namespace t2 {

HRESULT type_info_of(const IID& iid, ITypeInfo** out) {
    if (!out) return E_POINTER;
    void* info = nullptr;
    HRESULT hr = static_cast<HRESULT>(platform::embedded_type_info(guid_text(iid), &info));
    *out = static_cast<ITypeInfo*>(info);  // the platform's object: the same entry table as ours
    return hr;
}

// The runtime's objects keep their own counts; they do not hold this library.
long type_info_references() noexcept { return 0; }

}  // namespace t2
