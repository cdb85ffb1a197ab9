// The step language of `tavolin2 call`:
//   Member             property get, or a method without arguments
//   Member=VALUE       property let
//   Member(ARG, ...)   a method with arguments
// ARG: a number (123, -4.5, 1E3, &HFF), "text" ("" inside for a quote),
// c"text" with C escapes (\n \t \r \0 \\ \" \xHH), True, False, Empty, Null,
// Nothing, nothing at all (an omitted optional argument), or name:=ARG.
#pragma once

#include <string>
#include <vector>

#include "host/client.hpp"

namespace host {

struct Step {
    std::string member;
    enum { Get, Let, Call } kind = Get;
    std::vector<Arg> args;
};

// Parses one step; false with a message on a syntax error.
bool parse_step(const std::string& text, Step& step, std::string& error);
// Parses one argument value (not empty); false with a message.
bool parse_value(const std::string& text, Value& value, std::string& error);

// The picture box the last @picturebox argument made (kept alive for saving), or nullptr.
IDispatch* last_picture_box();
// The list boxes that @listbox arguments made, in order (kept alive for printing).
const std::vector<IDispatch*>& made_list_boxes();
// The entries of a list box, read by ListCount and List(i).
std::vector<std::string> list_entries(IDispatch* list);
// A list box holding `entries`; nullptr with the error on failure.
IDispatch* make_list_box(const std::vector<std::string>& entries);

}  // namespace host
