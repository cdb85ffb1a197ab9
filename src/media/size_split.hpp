// The size split of MovieModule: width and height out of a size answer
// "left top width height". Each step goes on past a failing one, so a short or
// odd answer writes what it can and leaves the rest as the caller had it.
#pragma once

#include "frame/com.hpp"

namespace t2 {

void split_size_answer(const String& r, Long& wWidth, Long& wHeight);

}  // namespace t2
