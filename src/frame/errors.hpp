// Numbered runtime errors: the one exception type of the library, the standard
// descriptions, and the four ways a member handles an error.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "tavolin2/abi.h"
#include "tavolin2/errors.h"

namespace t2 {

using String = std::u16string;

// Runtime error numbers the library raises, one name per row of the table in
// the public errors.h (err::Overflow is 6).
namespace err {
#define T2_ERROR_CONSTANT(name, number, text) inline constexpr int32_t name = number;
T2_RUNTIME_ERRORS(T2_ERROR_CONSTANT)
#undef T2_ERROR_CONSTANT
}  // namespace err

// The standard description of a runtime error number ("Overflow", ...).
String error_description(int32_t number);

class Error : public std::exception {
public:
    Error(int32_t number, String description, String source = {})
        : number_(number), description_(std::move(description)), source_(std::move(source)) {}
    explicit Error(int32_t number) : Error(number, error_description(number)) {}

    int32_t number() const noexcept { return number_; }
    const String& description() const noexcept { return description_; }
    const String& source() const noexcept { return source_; }
    void set_source_if_empty(const String& s) {
        if (source_.empty()) source_ = s;
    }
    // A runtime error number n is 0x800A0000+n; a number that is a platform
    // status (a caller's object answered E_FAIL, E_ACCESSDENIED ...) stays that status.
    HRESULT status() const noexcept { return number_ < 0 ? static_cast<HRESULT>(number_) : T2_ERROR_STATUS(number_); }
    const char* what() const noexcept override;

private:
    int32_t number_;
    String description_;
    String source_;
    mutable std::string what_;
};

// A failure that is a platform status rather than a numbered error (E_POINTER,
// RPC_E_WRONG_THREAD ...), carried through C++ code up to the entry table.
class StatusError : public std::exception {
public:
    explicit StatusError(HRESULT hr) : hr_(hr) {}
    HRESULT status() const noexcept { return hr_; }
    const char* what() const noexcept override { return "platform status"; }

private:
    HRESULT hr_;
};

[[noreturn]] void raise(int32_t number);
[[noreturn]] void raise(int32_t number, const String& description);

// Turns a failed status from a call through an interface back into the numbered
// error it carries (taking the thread's error info for the description), so a
// class calling its own public members fails with the same number.
void check(HRESULT hr);

// The error number a status stands for, as a late-bound caller sees it:
// 0x800A0000+n gives n, the dispatch statuses their runtime numbers.
int32_t error_number_of(HRESULT hr);

// Per-thread error info (what SetErrorInfo/GetErrorInfo keep).
void set_thread_error(const String& source, const String& description);
void clear_thread_error();

// ---- handling styles ----

// "Continue silently": run one statement; an error it raises is dropped and the
// member goes on with the next statement.  Returns false when it failed.
template <class F>
bool resume_next(F&& statement) {
    try {
        statement();
        return true;
    } catch (const Error&) {
        return false;
    }
}

// "Report": run a statement; on error show a message box whose prompt is the
// number, ", " and the description, with the given title, critical icon, OK.
// Returns false when it failed (the caller decides whether to go on or return).
bool report_error(const String& title, const std::function<void()>& statement);

}  // namespace t2
