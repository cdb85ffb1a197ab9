// Exported helpers beside the four entry points (declared in the public header).
#pragma once

#include "frame/comptr.hpp"
#include "tavolin2/tavolin2.h"

namespace t2 {
ComPtr<IDispatch> app_object(const CLSID& clsid);
}
