// ListBox: a list control a caller owns, callable late-bound with AddItem,
// ListCount, List(i), RemoveItem and Clear.
#pragma once

#include <string>
#include <vector>

#include "host/dispatch_object.hpp"

namespace host {

class ListBox final : public DispatchObject {
public:
    static ListBox* make(std::vector<std::string> entries = {});
    const std::vector<std::string>& entries() const { return entries_; }

private:
    ListBox();
    std::vector<std::string> entries_;  // UTF-8
};

// The list boxes that @listbox arguments made, in order (kept alive for printing).
const std::vector<ListBox*>& made_list_boxes();
void remember_list_box(ListBox* box);

}  // namespace host
