// The type information of the library's interfaces (built from the member rows).
#pragma once

#include "tavolin2/tavolin2.h"

namespace t2 {

// The dispatch view of a default interface, with one reference for the caller.
HRESULT type_info_of(const IID& iid, ITypeInfo** out);
// References to type information objects held by clients (they keep the library loaded).
long type_info_references() noexcept;

}  // namespace t2
