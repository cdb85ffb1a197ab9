// The list box over a vector of texts.
#include "host/list_box.hpp"

namespace host {

namespace {
std::vector<ListBox*>& made() {
    static std::vector<ListBox*> boxes;
    return boxes;
}
}  // namespace

const std::vector<ListBox*>& made_list_boxes() { return made(); }
void remember_list_box(ListBox* box) { made().push_back(box); }

ListBox* ListBox::make(std::vector<std::string> entries) {
    ListBox* b = new ListBox();
    b->entries_ = std::move(entries);
    return b;
}

ListBox::ListBox() {
    add("AddItem", Call, [this](int, Args& a) {
        std::string text = a.to_text(0);
        if (a.has(1)) {
            long at = a.to_long(1);
            if (at < 0 || at > static_cast<long>(entries_.size())) throw HostError{5, "Invalid procedure call or argument"};
            entries_.insert(entries_.begin() + at, text);
        } else {
            entries_.push_back(text);
        }
        return Value();
    });
    add("ListCount", Get, [this](int, Args&) { return Value::i4(static_cast<LONG>(entries_.size())); });
    add("List", Get | Put, [this](int kind, Args& a) {
        long i = a.to_long(0);
        if (i < 0 || i >= static_cast<long>(entries_.size())) throw HostError{381, "Invalid property array index"};
        if (kind == Put) entries_[static_cast<size_t>(i)] = a.to_text(1);
        return Value::text(entries_[static_cast<size_t>(i)]);
    });
    add("RemoveItem", Call, [this](int, Args& a) {
        long i = a.to_long(0);
        if (i < 0 || i >= static_cast<long>(entries_.size())) throw HostError{5, "Invalid procedure call or argument"};
        entries_.erase(entries_.begin() + i);
        return Value();
    });
    add("Clear", Call, [this](int, Args&) {
        entries_.clear();
        return Value();
    });
}

}  // namespace host
