// ListBox: a list control a caller owns, callable late-bound with AddItem,
// ListCount, List(i), RemoveItem, Clear, ListIndex and Text.
#pragma once

#include <string>
#include <vector>

#include "kit/dispatch_object.hpp"

namespace kit {

class ListBox final : public DispatchObject {
public:
    static ListBox* make(std::vector<std::string> entries = {});
    const std::vector<std::string>& entries() const { return entries_; }

private:
    ListBox();
    std::vector<std::string> entries_;  // UTF-8
    long index_ = -1;                   // the selected entry, -1 for none
};

}  // namespace kit
