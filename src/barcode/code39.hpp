// basBCATBC39: the Code 39 renderer, drawing through a caller's picture box.
#pragma once

#include "frame/object.hpp"

namespace t2::barcode {

void DrawCode39(const String& sBarCodeString, const String& sBottomString, const Object& oBarCodePic);

}  // namespace t2::barcode
