// The media channel's error numbers by name, from the one table in errors.def.
#pragma once

#include <cstdint>

namespace t2::mci {

enum Error : uint32_t {
#define T2_MCI_ERROR(name, number, text) k##name = number,
#include "platform/mci/errors.def"
#undef T2_MCI_ERROR
};

// The text of a known number, nullptr for any other.
const char* error_text(uint32_t code);

}  // namespace t2::mci
