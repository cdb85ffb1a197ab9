// The Code 128 encoder: code set B, one symbol character per input character,
// the function characters FNC1-4, and the mod-103 check character.
#include "barcode/code128.hpp"

#include "barcode/code128_patterns.hpp"

namespace t2::barcode {

BarcodeProps& barcode_props() {
    thread_local BarcodeProps props;  // module data: once per thread
    return props;
}

std::vector<Long> Code128ValueOf(char16_t c) {
    if (c >= 0x20 && c <= 0x7F) return {static_cast<Long>(c - 32)};
    switch (c) {
        case u'\u00B3': return {96};   // FNC3
        case u'\u00B2': return {97};   // FNC2
        case u'\u00BC': return {100};  // FNC4
        case u'\u00B9':
            return {102};  // FNC1
        // DLE: SHIFT (98) makes the character after it one of code set A, whose 80 is DLE,
        // so SHIFT comes first; 80 followed by 98 would read as "p" and shift the next one.
        case u'\u0010': return {98, 80};
        default: return {};
    }
}

Long CheckCode128Text(const String& text) {
    for (char16_t c : text)
        if (Code128ValueOf(c).empty()) return codes::IllegalCharacter;
    return 0;
}

std::vector<Long> EncodeCode128(const String& text, Long check) {
    std::vector<Long> row{104};
    Long sum = 104;
    Integer position = 0;
    for (char16_t c : text)
        for (Long v : Code128ValueOf(c)) {
            position = checked::add<Integer>(position, 1);
            sum = checked::add<Long>(sum, checked::mul<Integer>(position, static_cast<Integer>(v)));
            row.push_back(v);
        }
    if (check == 1) row.push_back(sum % 103);
    row.push_back(106);
    return row;
}

Long code128_modules(const std::vector<Long>& row) {
    Long modules = 0;
    for (Long v : row)
        for (const char* p = kCode128Patterns[v]; *p; ++p) modules += *p - '0';
    return modules;
}

// "Error(54541):Invalid Width specified."; empty for a code that is not the engine's.
String BarcodeErrorText(Long code) {
    switch (code) {
#define T2_BARCODE_CODE_TEXT(name, number, text) \
    case number: return u"Error(" #number "):" text;
        T2_BARCODE_CODES(T2_BARCODE_CODE_TEXT)
#undef T2_BARCODE_CODE_TEXT
        default: return {};
    }
}

}  // namespace t2::barcode
