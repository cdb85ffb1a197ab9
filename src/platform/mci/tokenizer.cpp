#include "platform/mci/tokenizer.hpp"

#include <cctype>

#include "platform/mci/errors.hpp"

namespace t2::mci {

namespace {
constexpr size_t kMaxDigits = 18;  // fits int64 with room to multiply by a frame rate
bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

uint32_t tokenize(const std::string& cmd, std::vector<Token>& out) {
    size_t i = 0;
    while (i < cmd.size()) {
        if (blank(cmd[i])) {
            ++i;
            continue;
        }
        Token t;
        if (cmd[i] == '"') {
            const size_t close = cmd.find('"', i + 1);
            if (close == std::string::npos) return kNoClosingQuote;
            t.text = cmd.substr(i + 1, close - i - 1);
            t.quoted = true;
            i = close + 1;
            if (i < cmd.size() && cmd[i] != ' ' && cmd[i] != '\t') return kExtraCharacters;
        } else {
            size_t end = i;
            while (end < cmd.size() && !blank(cmd[end])) ++end;
            t.text = cmd.substr(i, end - i);
            i = end;
        }
        t.key = lower(t.text);
        out.push_back(std::move(t));
    }
    return kOk;
}

bool parse_int(const std::string& s, int64_t& v) {
    if (s.empty() || s.size() > kMaxDigits) return false;
    const size_t first = s[0] == '-' ? 1 : 0;
    if (first == s.size()) return false;
    for (size_t i = first; i < s.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    v = std::stoll(s);
    return true;
}

}  // namespace t2::mci
