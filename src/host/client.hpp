// Host-side client helpers over the public interface only: objects by
// programmatic name, late-bound calls by member name, value texts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tavolin2/cpp.hpp"
#include "tavolin2/tavolin2.h"

namespace host {

// A failed call: the runtime number and description a late-bound caller sees.
struct CallError {
    long number;
    std::string description;
    HRESULT status;
};

// Owns one VARIANT: the public C++ holder, so the host sees the library as any caller does.
using Value = t2::Variant;

struct Arg {
    std::string name;  // empty: positional
    Value value;
};

std::string utf8(BSTR b);
// A value as the host prints it: strings with control characters as C escapes,
// Booleans True/False, numbers in their standard text, Empty as "".
std::string show(const VARIANT& v);
std::string show_text(BSTR b);  // a String as show() prints it

// Creates an object by programmatic name or class id text; nullopt with the error.
IDispatch* create_object(const std::string& progid, CallError& error, CLSID* clsid = nullptr);

// Calls a member by name: flags DISPATCH_METHOD|DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT.
bool invoke(IDispatch* obj, const std::string& member, WORD flags, std::vector<Arg>& args, Value& result,
            CallError& error);

// The description of a failed call: the thread's error info, else the status's own text.
std::string error_description(HRESULT hr);
// A picture of an image file through the kit; nullptr with the kit's message on failure.
IDispatch* load_picture(const std::string& path, std::string& error);
// Writes a file whole or not at all; false with a message naming the file and the reason.
bool write_whole_file(const std::string& path, const void* data, size_t bytes, std::string& error);

// Whether the class's member of that name returns a value (unknown classes: true).
bool member_has_result(const CLSID& clsid, const std::string& member);

}  // namespace host
