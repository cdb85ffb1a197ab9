// The runtime's number conversions, texts and readings.
#include "convert.hpp"

#include <charconv>
#include <cstdio>

namespace t2 {

double checked::fdiv(double a, double b) {
    if (b == 0.0) raise(err::DivisionByZero);
    double r = a / b;
    if (!std::isfinite(r)) raise(err::Overflow);
    return r;
}

namespace {

bool is_blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }
bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }
int hex_value(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

double to_double(const std::string& ascii) {
    double v = 0;
    auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    if (res.ec == std::errc::result_out_of_range) {
        // from_chars leaves v untouched: tell overflow from underflow by the exponent sign
        auto e = ascii.find_first_of("eE");
        bool tiny = e != std::string::npos && e + 1 < ascii.size() && ascii[e + 1] == '-';
        return tiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return v;
}

// "&H1F" / "&O17" starting at s[i] (pointing at '&'); digits run to `end`.
bool read_radix(std::u16string_view s, size_t& i, size_t end, uint64_t& bits, int& ndigits) {
    if (i + 1 >= end || s[i] != u'&') return false;
    char16_t k = s[i + 1];
    int base = (k == u'H' || k == u'h') ? 16 : (k == u'O' || k == u'o') ? 8 : 0;
    if (!base) return false;
    size_t j = i + 2;
    bits = 0;
    ndigits = 0;
    bool wide = false;
    while (j < end) {
        int v = hex_value(s[j]);
        if (v < 0 || v >= base) break;
        if (bits > (UINT64_MAX >> 4)) wide = true;
        bits = bits * static_cast<uint64_t>(base) + static_cast<uint64_t>(v);
        ++ndigits;
        ++j;
    }
    if (wide) bits = UINT64_MAX;
    i = j;
    return ndigits > 0;
}

}  // namespace

std::optional<ParsedNumber> parse_number(std::u16string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && is_blank(s[b])) ++b;
    while (e > b && is_blank(s[e - 1])) --e;
    if (b == e) return std::nullopt;

    ParsedNumber out;
    size_t i = b;
    bool negative = false, lead_sign = false, paren = false;
    if (s[i] == u'(') {
        paren = true;
        ++i;
        if (e - 1 <= i || s[e - 1] != u')') return std::nullopt;
        --e;
        while (i < e && is_blank(s[i])) ++i;
    }
    if (i < e && (s[i] == u'+' || s[i] == u'-')) {
        if (paren) return std::nullopt;
        negative = s[i] == u'-';
        lead_sign = true;
        ++i;
        while (i < e && is_blank(s[i])) ++i;
    }
    bool currency = false;  // the currency sign, before the number or after it
    if (i < e && s[i] == u'$') {
        currency = true;
        ++i;
        while (i < e && is_blank(s[i])) ++i;
    }
    if (i < e && s[i] == u'&') {
        int nd = 0;
        if (!read_radix(s, i, e, out.bits, nd) || i != e) return std::nullopt;
        out.radix = true;
        out.value = out.bits > 0xFFFFFFFFull
                        ? std::numeric_limits<double>::infinity()
                        : static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(out.bits)));
        if (negative || paren) {
            out.value = -out.value;
            out.bits = static_cast<uint64_t>(-static_cast<int64_t>(out.bits));
        }
        return out;
    }

    std::string ascii;
    bool digits = false, point = false;
    while (i < e) {
        char16_t c = s[i];
        if (is_digit(c)) {
            ascii.push_back(static_cast<char>(c));
            digits = true;
        } else if (c == u',' && digits && !point) {
            // thousands separator: allowed anywhere after the first digit
        } else if (c == u'.' && !point) {
            ascii.push_back('.');
            point = true;
        } else {
            break;
        }
        ++i;
    }
    if (!digits) return std::nullopt;
    if (i < e && (s[i] == u'e' || s[i] == u'E')) {
        ascii.push_back('e');
        ++i;
        if (i < e && (s[i] == u'+' || s[i] == u'-')) ascii.push_back(static_cast<char>(s[i++]));
        bool exp_digits = false;
        while (i < e && is_digit(s[i])) {
            ascii.push_back(static_cast<char>(s[i++]));
            exp_digits = true;
        }
        if (!exp_digits) return std::nullopt;
    }
    if (i < e && (s[i] == u'+' || s[i] == u'-') && !lead_sign && !paren) {
        negative = s[i] == u'-';
        ++i;
    }
    if (i < e && s[i] == u'$' && !currency) ++i;
    if (i != e) return std::nullopt;
    if (ascii == ".") return std::nullopt;
    out.value = to_double(ascii);
    if (negative || paren) out.value = -out.value;
    return out;
}

std::optional<double> strict_number(std::u16string_view text) {
    auto p = parse_number(text);
    if (!p) return std::nullopt;
    return p->value;
}

double leading_number(std::u16string_view s) {
    // Val drops blanks, tabs and line feeds wherever they stand, then reads the longest number prefix.
    std::u16string t;
    t.reserve(s.size());
    for (char16_t c : s)
        if (c != u' ' && c != u'\t' && c != u'\n') t.push_back(c);
    size_t i = 0;
    if (i < t.size() && t[i] == u'&') {
        uint64_t bits = 0;
        int nd = 0;
        size_t j = i;
        if (!read_radix(t, j, t.size(), bits, nd)) return 0;
        bool hex = t[i + 1] == u'H' || t[i + 1] == u'h';
        if ((hex && nd <= 4) || (!hex && bits <= 0xFFFF)) return static_cast<int16_t>(static_cast<uint16_t>(bits));
        if (bits > 0xFFFFFFFFull) return static_cast<double>(bits);
        return static_cast<int32_t>(static_cast<uint32_t>(bits));
    }
    std::string ascii;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        if (t[i] == u'-') ascii.push_back('-');
        ++i;
    }
    bool digits = false, point = false;
    while (i < t.size()) {
        char16_t c = t[i];
        if (is_digit(c)) {
            ascii.push_back(static_cast<char>(c));
            digits = true;
        } else if (c == u'.' && !point) {
            ascii.push_back('.');
            point = true;
        } else {
            break;
        }
        ++i;
    }
    if (!digits) return 0;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E' || t[i] == u'd' || t[i] == u'D')) {
        std::string exp = "e";
        size_t j = i + 1;
        if (j < t.size() && (t[j] == u'+' || t[j] == u'-')) exp.push_back(static_cast<char>(t[j++]));
        bool ed = false;
        while (j < t.size() && is_digit(t[j])) {
            exp.push_back(static_cast<char>(t[j++]));
            ed = true;
        }
        if (ed) ascii += exp;
    }
    if (ascii == "-") return 0;
    bool neg = !ascii.empty() && ascii[0] == '-';
    double v = to_double(neg ? ascii.substr(1) : ascii);
    return neg ? -v : v;
}

namespace {
String ascii_to_string(const char* p) {
    String r;
    for (; *p; ++p) r.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    return r;
}
}  // namespace

String number_text(double d) {
    if (d == 0) return u"0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", d);
    return ascii_to_string(buf);
}

String single_text(float f) {
    if (f == 0) return u"0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.7G", static_cast<double>(f));
    return ascii_to_string(buf);
}

String format_zero_padded(double x, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", x);
    double v = std::round(std::strtod(buf, nullptr));  // half away from zero
    std::snprintf(buf, sizeof buf, "%.0f", std::fabs(v));
    std::string body = buf;
    if (static_cast<int>(body.size()) < digits) body.insert(0, static_cast<size_t>(digits) - body.size(), '0');
    if (v < 0) body.insert(0, 1, '-');
    return ascii_to_string(body.c_str());
}

Integer AnsiCode(std::u16string_view text) {
    if (text.empty()) raise(err::InvalidCall);
    return to_cp1252(text[0]);
}

}  // namespace t2
