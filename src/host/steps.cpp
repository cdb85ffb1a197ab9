// Parser of the call step language.
#include "host/steps.hpp"

#include "tavolin2/kit.h"

#include <cstdio>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <strings.h>

namespace host {

namespace {

IDispatch* last_box = nullptr;
std::vector<IDispatch*> list_boxes;  // kept for printing at the end

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool is_ident(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
    return true;
}

// Splits an argument list at top-level commas (commas in quotes do not count).
bool split_args(const std::string& s, std::vector<std::string>& out, std::string& error) {
    std::string cur;
    bool quoted = false, c_escapes = false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        cur.push_back(c);
        if (quoted) {
            if (c_escapes && c == '\\' && i + 1 < s.size()) {
                cur.push_back(s[++i]);
            } else if (c == '"') {
                if (!c_escapes && i + 1 < s.size() && s[i + 1] == '"')
                    cur.push_back(s[++i]);
                else
                    quoted = false;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            // c"..." when the c stands alone before the quote
            size_t n = cur.size();
            c_escapes = n >= 2 && cur[n - 2] == 'c' &&
                        (n == 2 || !(std::isalnum(static_cast<unsigned char>(cur[n - 3])) || cur[n - 3] == '_'));
        } else if (c == ',') {
            cur.pop_back();
            out.push_back(trim(cur));
            cur.clear();
        }
    }
    if (quoted) {
        error = "unterminated string";
        return false;
    }
    out.push_back(trim(cur));
    return true;
}

bool parse_c_string(const std::string& body, std::string& out, std::string& error) {
    for (size_t i = 0; i < body.size(); ++i) {
        char c = body[i];
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++i >= body.size()) {
            error = "dangling backslash";
            return false;
        }
        switch (body[i]) {
            case 'n': out.push_back('\n'); break;
            case 't': out.push_back('\t'); break;
            case 'r': out.push_back('\r'); break;
            case '0': out.push_back('\0'); break;
            case '\\': out.push_back('\\'); break;
            case '"': out.push_back('"'); break;
            case 'x': {
                if (i + 2 >= body.size()) {
                    error = "\\x needs two hex digits";
                    return false;
                }
                std::string hex = body.substr(i + 1, 2);
                char* end = nullptr;
                long v = std::strtol(hex.c_str(), &end, 16);
                if (hex.size() != 2 || *end) {
                    error = "\\x needs two hex digits";
                    return false;
                }
                // a byte above 0x7F is the character of that code (Latin-1), written as UTF-8
                if (v < 0x80) {
                    out.push_back(static_cast<char>(v));
                } else {
                    out.push_back(static_cast<char>(0xC0 | (v >> 6)));
                    out.push_back(static_cast<char>(0x80 | (v & 0x3F)));
                }
                i += 2;
                break;
            }
            default: error = std::string("unknown escape \\") + body[i]; return false;
        }
    }
    return true;
}

}  // namespace

bool parse_value(const std::string& raw, Value& value, std::string& error) {
    std::string t = trim(raw);
    if (t.empty()) {
        error = "missing value";
        return false;
    }
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"') {
        std::string body = t.substr(1, t.size() - 2), s;
        for (size_t i = 0; i < body.size(); ++i) {
            if (body[i] == '"') {
                if (i + 1 < body.size() && body[i + 1] == '"')
                    ++i;
                else {
                    error = "a quote inside a string is written twice";
                    return false;
                }
            }
            s.push_back(body[i]);
        }
        value = Value(s);
        return true;
    }
    if (t.size() >= 3 && t[0] == 'c' && t[1] == '"' && t.back() == '"') {
        std::string s;
        if (!parse_c_string(t.substr(2, t.size() - 3), s, error)) return false;
        // embedded NULs: build the string from its UTF-8 pieces
        std::u16string text;
        size_t start = 0;
        for (size_t i = 0; i <= s.size(); ++i) {
            if (i == s.size() || s[i] == '\0') {
                BSTR piece = SysAllocStringUTF8(s.substr(start, i - start).c_str());
                text.append(piece ? piece : u"", SysStringLen(piece));
                SysFreeString(piece);
                if (i < s.size()) text.push_back(u'\0');
                start = i + 1;
            }
        }
        Value r;
        r.ptr()->vt = VT_BSTR;
        r.ptr()->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        value = r;
        return true;
    }
    if (t.rfind("@picturebox", 0) == 0) {
        int w = 300, h = 100;
        if (t.size() > 11) {
            if (t[11] != ':' || std::sscanf(t.c_str() + 12, "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || w > 32767 ||
                h > 32767) {
                error = "@picturebox takes :WIDTHxHEIGHT in pixels";
                return false;
            }
        }
        IDispatch* box = nullptr;
        HRESULT hr = T2CreatePictureBox(w, h, &box);
        if (FAILED(hr)) {
            error = error_description(hr);
            return false;
        }
        value = Value(static_cast<IDispatch*>(box));
        if (last_box) last_box->Release();
        last_box = box;  // keeps the reference make() gave
        return true;
    }
    if (t.rfind("@listbox", 0) == 0) {
        std::vector<std::string> entries;
        if (t.size() > 8) {
            if (t[8] != ':') {
                error = "@listbox takes :entry|entry|...";
                return false;
            }
            std::string rest = t.substr(9);
            size_t at = 0;
            while (true) {
                size_t bar = rest.find('|', at);
                entries.push_back(rest.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
                if (bar == std::string::npos) break;
                at = bar + 1;
            }
        }
        IDispatch* box = make_list_box(entries);
        if (!box) {
            error = "no list box";
            return false;
        }
        value = Value(static_cast<IDispatch*>(box));
        list_boxes.push_back(box);
        return true;
    }
    if (t.rfind("@picture:", 0) == 0) {
        std::string file = t.substr(9), why;
        IDispatch* pic = load_picture(file, why);
        if (!pic) {
            error = why;
            return false;
        }
        value = Value(static_cast<IDispatch*>(pic));
        pic->Release();
        return true;
    }
    if (strcasecmp(t.c_str(), "True") == 0) {
        value = Value(true);
        return true;
    }
    if (strcasecmp(t.c_str(), "False") == 0) {
        value = Value(false);
        return true;
    }
    if (strcasecmp(t.c_str(), "Empty") == 0) {
        value = Value();
        return true;
    }
    if (strcasecmp(t.c_str(), "Null") == 0) {
        Value r;
        r.ptr()->vt = VT_NULL;
        value = r;
        return true;
    }
    if (strcasecmp(t.c_str(), "Nothing") == 0) {
        value = Value(nullptr);
        return true;
    }
    if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h')) {
        char* end = nullptr;
        errno = 0;
        unsigned long long v = std::strtoull(t.c_str() + 2, &end, 16);
        if (*end || errno || v > 0xFFFFFFFFull) {
            error = "bad hexadecimal number " + t;
            return false;
        }
        // as literals: up to 4 digits an Integer, else a Long
        value = (t.size() - 2 <= 4) ? Value(static_cast<SHORT>(v)) : Value(static_cast<int>(v));
        return true;
    }
    // Integer literals are Integer when they fit, Long when they fit, else Double.
    char* end = nullptr;
    errno = 0;
    long long i = std::strtoll(t.c_str(), &end, 10);
    if (*end == '\0' && errno == 0) {
        if (i >= SHRT_MIN && i <= SHRT_MAX)
            value = Value(static_cast<SHORT>(i));
        else if (i >= INT32_MIN && i <= INT32_MAX)
            value = Value(static_cast<int>(i));
        else
            value = Value(static_cast<double>(i));
        return true;
    }
    errno = 0;
    double d = std::strtod(t.c_str(), &end);
    if (*end == '\0' && errno == 0 && t.find_first_of("0123456789") != std::string::npos &&
        t.find_first_of("xXpPnN") == std::string::npos) {
        value = Value(d);
        return true;
    }
    error = "cannot read the value " + t + " (strings are written in double quotes)";
    return false;
}

IDispatch* last_picture_box() { return last_box; }
const std::vector<IDispatch*>& made_list_boxes() { return list_boxes; }

IDispatch* make_list_box(const std::vector<std::string>& entries) {
    IDispatch* list = nullptr;
    if (FAILED(T2CreateListBox(&list))) return nullptr;
    for (const std::string& e : entries) {
        std::vector<Arg> args(1);
        args[0].value = Value(e);
        Value ignored;
        CallError error;
        if (!invoke(list, "AddItem", DISPATCH_METHOD, args, ignored, error)) {
            list->Release();
            return nullptr;
        }
    }
    return list;
}

std::vector<std::string> list_entries(IDispatch* list) {
    std::vector<std::string> out;
    std::vector<Arg> none;
    Value count;
    CallError error;
    if (!invoke(list, "ListCount", DISPATCH_PROPERTYGET, none, count, error)) return out;
    VARIANT n;
    VariantInit(&n);
    if (FAILED(VariantChangeType(&n, &count.get(), 0, VT_I4))) return out;
    for (LONG i = 0; i < n.lVal; ++i) {
        std::vector<Arg> args(1);
        args[0].value = Value(static_cast<int>(i));
        Value text;
        if (!invoke(list, "List", DISPATCH_PROPERTYGET, args, text, error)) break;
        out.push_back(text.vt() == VT_BSTR ? utf8(text.get().bstrVal) : show(text.get()));
    }
    return out;
}

bool parse_step(const std::string& text, Step& step, std::string& error) {
    step = Step{};
    std::string t = trim(text);
    size_t paren = t.find('('), eq = t.find('=');
    if (paren != std::string::npos && (eq == std::string::npos || paren < eq)) {
        if (t.back() != ')') {
            error = "missing ) in " + t;
            return false;
        }
        step.member = trim(t.substr(0, paren));
        step.kind = Step::Call;
        std::string inner = t.substr(paren + 1, t.size() - paren - 2);
        std::vector<std::string> parts;
        if (!trim(inner).empty() && !split_args(inner, parts, error)) return false;
        for (const std::string& p : parts) {
            Arg a;
            std::string body = p;
            size_t named = p.find(":=");
            if (named != std::string::npos && named < p.find('"')) {
                a.name = trim(p.substr(0, named));
                body = p.substr(named + 2);
                if (!is_ident(a.name)) {
                    error = "bad argument name " + a.name;
                    return false;
                }
            }
            if (trim(body).empty()) {
                if (!a.name.empty()) {
                    error = "missing value for " + a.name;
                    return false;
                }
                a.value = Value::missing();
            } else if (!parse_value(body, a.value, error)) {
                return false;
            }
            step.args.push_back(std::move(a));
        }
    } else if (eq != std::string::npos) {
        step.member = trim(t.substr(0, eq));
        step.kind = Step::Let;
        Arg a;
        if (!parse_value(t.substr(eq + 1), a.value, error)) return false;
        step.args.push_back(std::move(a));
    } else {
        step.member = t;
    }
    if (!is_ident(step.member)) {
        error = "bad member name '" + step.member + "'";
        return false;
    }
    return true;
}

}  // namespace host
