// Texts of the platform's system error codes, and FormatMessageA over them.
#pragma once

#include <cstdint>
#include <string>

namespace t2::platform {

inline constexpr uint32_t FORMAT_MESSAGE_IGNORE_INSERTS = 0x200, FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;

// Writes the text of `code` (ending with CR LF) into buffer as 8-bit text with a
// terminating zero, at most size bytes; returns the characters written, 0 when
// the code has no text or the buffer is too small.
uint32_t FormatMessageA(uint32_t flags, const void* source, uint32_t code, uint32_t language, char* buffer,
                        uint32_t size, void* args);

// The platform's last error code of this thread, and setting it.
uint32_t GetLastError();
void SetLastError(uint32_t code);
// The platform error code for a POSIX errno (2, 3, 5, 32, 80, 87, 112, 123, 206 ...).
uint32_t error_from_errno(int e, const std::string& path = {});

}  // namespace t2::platform
