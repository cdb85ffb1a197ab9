// basBCATBC128: the Code 128 encoder (code set B only) and the drawing engine.
#pragma once

#include <vector>

#include "frame/convert.hpp"

namespace t2::barcode {

inline constexpr Long kSymbologyCode128 = 16;

// The engine's result codes: name, number, the text its message box shows.
#define T2_BARCODE_CODES(X)                                                     \
    X(InvalidDC, 54540, "Invalid Device Context specified.")                    \
    X(InvalidWidth, 54541, "Invalid Width specified.")                          \
    X(InvalidHeight, 54542, "Invalid Height specified.")                        \
    X(UnknownSymbology, 54543, "Unknown Symbology encountered.")                \
    X(FontFailed, 54544, "An Error occured while creating Font.")               \
    X(OutOfMemory, 54545, "Out Of Memory.")                                     \
    X(InvalidAlign, 54546, "Invalid Caption alignment specified")               \
    X(InvalidTextDisplay, 54547, "Invalid Caption display position specified.") \
    X(IllegalCharacter, 54548, "Illegal character for this symbology specified.")

namespace codes {
#define T2_BARCODE_CODE_CONSTANT(name, number, text) inline constexpr Long name = number;
T2_BARCODE_CODES(T2_BARCODE_CODE_CONSTANT)
#undef T2_BARCODE_CODE_CONSTANT
}  // namespace codes

// The barcode properties record: one per thread, filled by every drawing call.
struct BarcodeProps {
    String Text, Caption, FontName;
    Long Symbology = 0, Align = 0, TextDisplay = 0, FontSize = 0, Style = 0, BarHeight = 0, Left = 0, Top = 0,
         ModuleWidth = 0, CaptionGap = 0, Orientation = 0, ForeColor = 0, BackColor = 0, CaptionColor = 0,
         CheckChar = 0;
};
BarcodeProps& barcode_props();  // this thread's record

// 0 when every character is in the encoder's alphabet, else codes::IllegalCharacter (first illegal character wins).
Long CheckCode128Text(const String& text);
// The symbol value(s) of one accepted character; empty for any other.
std::vector<Long> Code128ValueOf(char16_t c);
// Start B, the data values, the check character when `check` is 1, stop.  Error 6 when a
// position or a weighted product leaves 16 bits.
std::vector<Long> EncodeCode128(const String& text, Long check);
// Width of a row in modules.
Long code128_modules(const std::vector<Long>& row);

// The engine: validates, lays out and paints on the device context; 0 or an error code.
Long DrawBarcode(const BarcodeProps& props, Long hdc);
String BarcodeErrorText(Long code);

}  // namespace t2::barcode
