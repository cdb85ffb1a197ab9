// The list box over a vector of texts.
#include "kit/list_box.hpp"

namespace kit {

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
            if (at < 0 || at > static_cast<long>(entries_.size()))
                throw HostError{5, "Invalid procedure call or argument"};
            entries_.insert(entries_.begin() + at, text);
        } else {
            entries_.push_back(text);
        }
        return Value();
    });
    add("ListCount", Get, [this](int, Args&) { return Value(static_cast<int>(static_cast<LONG>(entries_.size()))); });
    add("List", Get | Put, [this](int kind, Args& a) {
        long i = a.to_long(0);
        if (i < 0 || i >= static_cast<long>(entries_.size())) throw HostError{381, "Invalid property array index"};
        if (kind == Put) entries_[static_cast<size_t>(i)] = a.to_text(1);
        return Value(std::string(entries_[static_cast<size_t>(i)]));
    });
    add("RemoveItem", Call, [this](int, Args& a) {
        long i = a.to_long(0);
        if (i < 0 || i >= static_cast<long>(entries_.size())) throw HostError{5, "Invalid procedure call or argument"};
        entries_.erase(entries_.begin() + i);
        if (index_ == i)
            index_ = -1;
        else if (index_ > i)
            --index_;
        return Value();
    });
    add("Clear", Call, [this](int, Args&) {
        entries_.clear();
        index_ = -1;
        return Value();
    });
    add("ListIndex", Get | Put, [this](int kind, Args& a) {
        if (kind == Put) {
            long i = a.to_long(0);
            if (i < -1 || i >= static_cast<long>(entries_.size()))
                throw HostError{380, "Invalid property value: ListIndex"};
            index_ = i;
        }
        return Value(static_cast<int>(static_cast<LONG>(index_)));
    });
    add("Text", Get, [this](int, Args&) {
        return Value(std::string(index_ >= 0 ? entries_[static_cast<size_t>(index_)] : std::string()));
    });
}

}  // namespace kit
