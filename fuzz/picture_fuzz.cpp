// Fuzz target: the picture loader over any bytes (every format of its table, by its
// signature).  Every input gives a bitmap or a message, within the caps.
#include <cstdint>
#include <string>
#include <vector>

#include "kit/picture.hpp"
#include "platform/gdi/gdi.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    std::string error;
    t2::gdi::HGDI bm = kit::decode_image(bytes, "input", error);
    if (bm) {
        t2::gdi::BITMAP info{};
        if (t2::gdi::GetObjectA(bm, sizeof info, &info) != sizeof info || info.bmWidth <= 0 || info.bmHeight <= 0)
            __builtin_trap();
        t2::gdi::DeleteObject(bm);
    } else if (error.empty()) {
        __builtin_trap();  // a refusal always says why
    }
    return 0;
}
