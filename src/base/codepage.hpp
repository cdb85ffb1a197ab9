// The platform's 8-bit code page (Windows-1252): character codes, GDI text and
// media command texts are in it.  A file name taken out of such a text goes
// back through from_code_page and to_utf8 before it reaches the file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace t2 {

// Windows-1252 byte of one UTF-16 character (63 when unmappable), and back.
uint8_t to_cp1252(char16_t c);
char16_t from_cp1252(uint8_t b);
// Whole texts to and from the 8-bit code page.
std::string to_code_page(std::u16string_view s);
std::u16string from_code_page(const char* p, size_t n);

}  // namespace t2
