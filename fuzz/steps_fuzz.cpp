// Fuzz target: the step language of `tavolin2 call` (members, lets, calls,
// numbers, texts with escapes, named arguments).  Every text parses or gives
// a message.
#include <cstdint>
#include <string>

#include "host/steps.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // @picture and @listbox arguments make host objects that live until the host prints
    // them at its end: by design, and outside the language itself
    if (text.find('@') != std::string::npos) return 0;
    host::Step step;
    std::string error;
    if (!host::parse_step(text, step, error) && error.empty()) __builtin_trap();
    host::Value value;
    error.clear();
    if (!text.empty() && !host::parse_value(text, value, error) && error.empty()) __builtin_trap();
    return 0;
}
