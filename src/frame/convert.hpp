// Value types and the runtime's conversions: half-to-even rounding, range
// checks that raise overflow (6), number texts, Val-style leading numbers,
// checked Integer/Long/Byte arithmetic, bounds-checked arrays (9), AnsiCode.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/errors.hpp"
#include "base/codepage.hpp"

namespace t2 {

using Integer = int16_t;
using Long = int32_t;
using Byte = uint8_t;
using Single = float;
using Double = double;
inline constexpr int16_t True = -1;
inline constexpr int16_t False = 0;

// Nearest integer, ties to the even neighbour (2.5 -> 2, 3.5 -> 4, -0.5 -> 0).
// Independent of the processor's rounding mode; inline, as pixel loops call it.
inline double round_half_even(double d) {
    if (!(d > -4503599627370496.0 && d < 4503599627370496.0)) return d;  // beyond 2^52 (or NaN): whole already
    auto t = static_cast<int64_t>(d);                                    // toward zero
    t -= static_cast<double>(t) > d;                                     // now the floor
    const double diff = d - static_cast<double>(t);
    t += (diff > 0.5) | ((diff == 0.5) & (t & 1));  // without branches: pixel values are unpredictable
    return static_cast<double>(t);
}

// Floating point to an integer type: rounded, error 6 outside [min-0.5, max+0.5).
template <class T>
T round_to(double d) {
    constexpr double lo = static_cast<double>(std::numeric_limits<T>::min()) - 0.5;
    constexpr double hi = static_cast<double>(std::numeric_limits<T>::max()) + 0.5;
    if (!(d >= lo && d < hi)) raise(err::Overflow);  // NaN fails here too
    double r = round_half_even(d);
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max()))
        raise(err::Overflow);
    return static_cast<T>(r);
}

// An integer of a wider type into a narrower one; error 6 when it does not fit.
template <class T, class U>
T narrow(U v) {
    if (v < static_cast<U>(0) && !std::numeric_limits<T>::is_signed) raise(err::Overflow);
    if constexpr (std::numeric_limits<U>::is_signed && std::numeric_limits<T>::is_signed) {
        if (static_cast<int64_t>(v) < static_cast<int64_t>(std::numeric_limits<T>::min())) raise(err::Overflow);
    }
    if (static_cast<uint64_t>(v < 0 ? 0 : v) > static_cast<uint64_t>(std::numeric_limits<T>::max()))
        raise(err::Overflow);
    return static_cast<T>(v);
}

// Checked arithmetic in the type of the operands (Integer, Long, Byte): error 6.
namespace checked {
template <class T>
T add(T a, T b) {
    T r;
    if (__builtin_add_overflow(a, b, &r)) raise(err::Overflow);
    return r;
}
template <class T>
T sub(T a, T b) {
    T r;
    if (__builtin_sub_overflow(a, b, &r)) raise(err::Overflow);
    return r;
}
template <class T>
T mul(T a, T b) {
    T r;
    if (__builtin_mul_overflow(a, b, &r)) raise(err::Overflow);
    return r;
}
// Integer division (the runtime's \): error 11 on zero, 6 on min \ -1.
template <class T>
T idiv(T a, T b) {
    if (b == 0) raise(err::DivisionByZero);
    if constexpr (std::numeric_limits<T>::is_signed)
        if (a == std::numeric_limits<T>::min() && b == -1) raise(err::Overflow);
    return static_cast<T>(a / b);
}
// Floating division: error 11 on zero, 6 when the result is not finite.
double fdiv(double a, double b);
}  // namespace checked

// ---- texts and numbers ----

// A number text read strictly, as a conversion to a number reads it: blanks
// around, sign in front or behind, "(5)", '$', '.', thousands ',' after the
// first digit, exponent E, "&H"/"&O".  Anything left over fails.
struct ParsedNumber {
    double value = 0;
    bool radix = false;  // &H / &O form
    uint64_t bits = 0;   // the raw value of a radix form
};
std::optional<ParsedNumber> parse_number(std::u16string_view text);

// Strict reading to a double (the radix forms taken as 32-bit signed): nullopt when not a number.
std::optional<double> strict_number(std::u16string_view text);

// The leading number of a text as the runtime's Val reads it: blanks, tabs and
// line feeds skipped anywhere, one sign, digits and one '.', exponent E/e/D/d,
// "&H"/"&O"; 0 when there are no digits.  Never fails.
double leading_number(std::u16string_view text);

// Number texts of the runtime: %.15G for Double, %.7G for Single, "-0" -> "0".
String number_text(double d);
String single_text(float f);

// Format(x, "000..."): the value rounded half away from zero, left-padded with zeros.
String format_zero_padded(double x, int digits);

// The code of the first character in the 8-bit code page (Windows-1252): 0-255,
// 63 for a character the code page cannot hold; error 5 for an empty text.
Integer AnsiCode(std::u16string_view text);

// ---- arrays ----

// A one-dimensional array with declared bounds; an index outside them is error 9.
template <class T>
class Array {
public:
    Array() = default;
    Array(Long lo, Long hi) { redim(lo, hi); }
    void redim(Long lo, Long hi) {
        if (hi < lo - 1) raise(err::Subscript);
        lo_ = lo;
        data_.assign(static_cast<size_t>(static_cast<int64_t>(hi) - lo + 1), T{});
        allocated_ = true;
    }
    void redim_preserve(Long hi) {
        if (!allocated_) raise(err::Subscript);
        if (hi < lo_ - 1) raise(err::Subscript);
        data_.resize(static_cast<size_t>(static_cast<int64_t>(hi) - lo_ + 1));
    }
    void erase() {
        data_.clear();
        allocated_ = false;
    }
    bool allocated() const { return allocated_; }
    Long ubound() const {
        check_alloc();
        return static_cast<Long>(lo_ + static_cast<int64_t>(data_.size()) - 1);
    }
    T& operator()(Long i) { return data_[index(i)]; }
    const T& operator()(Long i) const { return data_[index(i)]; }
    T* data() { return data_.data(); }
    size_t size() const { return data_.size(); }

private:
    void check_alloc() const {
        if (!allocated_) raise(err::Subscript);
    }
    size_t index(Long i) const {
        int64_t k = static_cast<int64_t>(i) - lo_;
        if (!allocated_ || k < 0 || k >= static_cast<int64_t>(data_.size())) raise(err::Subscript);
        return static_cast<size_t>(k);
    }
    std::vector<T> data_;
    Long lo_ = 0;
    bool allocated_ = false;
};

// A bounds-checked two-dimensional view of memory the grid does not own:
// (column, row) from 0, an index outside [0, columns) x [0, rows) is error 9.
template <class T>
class Grid {
public:
    Grid() = default;
    Grid(T* base, Long columns, Long rows, Long row_stride)
        : base_(base), cols_(columns), rows_(rows), stride_(row_stride) {}
    T& operator()(Long column, Long row) const {
        if (!base_ || column < 0 || column >= cols_ || row < 0 || row >= rows_) raise(err::Subscript);
        return base_[static_cast<int64_t>(row) * stride_ + column];
    }
    Long columns() const { return cols_; }
    Long rows() const { return rows_; }

private:
    T* base_ = nullptr;
    Long cols_ = 0, rows_ = 0, stride_ = 0;
};

}  // namespace t2
