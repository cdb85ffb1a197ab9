// A reference-holding pointer to an interface.
#pragma once

#include <atomic>
#include <utility>

#include "tavolin2/abi.h"

namespace t2 {

// The reference count of an object that deletes itself at zero:
// `AddRef() { return refs_.add(); }`, `Release() { return refs_.release(this); }`.
class RefCount {
public:
    ULONG add() noexcept { return ++n_; }
    template <class Self>
    ULONG release(Self* self) noexcept {
        const ULONG r = --n_;
        if (r == 0) delete self;
        return r;
    }

private:
    std::atomic<ULONG> n_{1};
};

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    explicit ComPtr(T* p, bool add_ref = true) : p_(p) {
        if (p_ && add_ref) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() {
        if (p_) p_->Release();
    }
    static ComPtr adopt(T* p) { return ComPtr(p, false); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* detach() { return std::exchange(p_, nullptr); }
    T** out() {
        reset();
        return &p_;
    }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    template <class U>
    ComPtr<U> query(const IID& iid) const {
        U* u = nullptr;
        if (p_ && SUCCEEDED(p_->QueryInterface(iid, reinterpret_cast<void**>(&u)))) return ComPtr<U>::adopt(u);
        return {};
    }
    bool operator==(const ComPtr& o) const { return p_ == o.p_; }

private:
    T* p_ = nullptr;
};

}  // namespace t2
