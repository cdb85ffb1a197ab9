// Clipping of a transfer's span to a surface, shared by the graphics layers of
// both platforms.
#pragma once

#include <cstdint>

namespace t2::gdi {

// Clips the span [a, a + len) to [0, limit), moving the span `b` it is copied
// from or to by the same amount at the start; len may become 0 or less.
inline void clip_span(int32_t& a, int32_t& b, int32_t& len, int32_t limit) {
    if (a < 0) {
        b -= a;
        len += a;
        a = 0;
    }
    if (len > 0 && static_cast<int64_t>(a) + len > limit) len = limit - a;
}

}  // namespace t2::gdi
