// The words of a command: blank-separated, a double-quoted name taken whole
// (no escapes inside), each word also in lower case for matching.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace t2::mci {

struct Token {
    std::string text;  // as written (quotes removed)
    std::string key;   // lower case
    bool quoted = false;
};

// Splits a command; 0, or 294 (no closing quote) or 305 (text right after a closing quote).
uint32_t tokenize(const std::string& command, std::vector<Token>& out);

std::string lower(std::string s);

// A whole number of at most 18 digits with an optional minus; false for anything else.
bool parse_int(const std::string& s, int64_t& v);

}  // namespace t2::mci
