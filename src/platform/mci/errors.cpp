// The texts of the channel's error numbers.
#include "platform/mci/errors.hpp"

#include <cstdio>

#include "platform/mci/mci.hpp"

namespace t2::mci {

namespace {
struct ErrorRow {
    uint32_t code;
    const char* text;
};
constexpr ErrorRow kErrors[] = {
#define T2_MCI_ERROR(name, number, text) {number, text},
#include "platform/mci/errors.def"
#undef T2_MCI_ERROR
};
}  // namespace

const char* error_text(uint32_t code) {
    for (const ErrorRow& e : kErrors)
        if (e.code == code) return e.text;
    return nullptr;
}

int mciGetErrorStringA(uint32_t code, char* text, uint32_t length) {
    if (!text || length == 0) return 0;
    if (const char* known = error_text(code)) {
        std::snprintf(text, length, "%s", known);
        return 1;
    }
    std::snprintf(text, length, "Unknown media error %u.", code);
    return 0;
}

}  // namespace t2::mci
