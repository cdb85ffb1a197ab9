// Owners of device contexts, drawing objects and selections: each gives back
// what it holds when it goes, so a member that fails half-way leaks nothing
// and leaves no object selected. Declare the selection after what it selects
// into and what it selects, so it is undone first.
#pragma once

#include <utility>

#include "platform/gdi/gdi.hpp"

namespace t2::gdi {

template <int (*Delete)(HGDI)>
class Owned {
public:
    Owned() = default;
    explicit Owned(HGDI h) : h_(h) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }
    HGDI get() const { return h_; }
    explicit operator bool() const { return h_ != 0; }
    void reset(HGDI h = 0) {
        if (h_) Delete(h_);
        h_ = h;
    }
    // Hands the handle over to someone who deletes it (the clipboard, a caller).
    HGDI release() { return std::exchange(h_, 0); }

private:
    HGDI h_ = 0;
};

using OwnedDC = Owned<DeleteDC>;
using OwnedObject = Owned<DeleteObject>;

// An object selected into a context, the previous one put back on leaving.
class Selected {
public:
    Selected() = default;
    Selected(HGDI dc, HGDI object) { select(dc, object); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
    ~Selected() { undo(); }
    void select(HGDI dc, HGDI object) {
        undo();
        dc_ = dc;
        previous_ = SelectObject(dc, object);
    }
    void undo() {
        if (dc_ && previous_) SelectObject(dc_, previous_);
        dc_ = previous_ = 0;
    }
    // False when the selection was refused: the object is selected into another context.
    explicit operator bool() const { return previous_ != 0; }

private:
    HGDI dc_ = 0, previous_ = 0;
};

}  // namespace t2::gdi
