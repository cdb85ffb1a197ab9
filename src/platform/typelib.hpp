// The type library of this server as the platform provides it (Windows only):
// the TYPELIB resource of the DLL, loaded by the automation runtime.
#pragma once

#include <string>

namespace t2::platform {

// The type information of the entry with identifier `guid` ("{...}") in the
// embedded type library, with one reference for the caller (an ITypeInfo*);
// 0 or a failure status.
long embedded_type_info(const std::string& guid, void** type_info);

}  // namespace t2::platform
