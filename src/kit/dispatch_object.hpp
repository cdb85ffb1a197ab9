// Host-side objects callable late-bound (pictures, picture boxes, list boxes):
// a name -> handler table behind IDispatch, with argument helpers that follow
// the runtime's conversions and report failures as numbered errors.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "kit/value.hpp"

namespace kit {

// A failure inside a host object's member: becomes DISP_E_EXCEPTION with 0x800A0000+number.
struct HostError {
    long number;
    std::string text;
};

// The arguments of one call in call order, by-ref forms read through.
class Args {
public:
    explicit Args(std::vector<VARIANT*> a) : a_(std::move(a)) {}
    size_t size() const { return a_.size(); }
    bool has(size_t i) const;  // present and not the omitted marker
    long to_long(size_t i) const;
    double to_double(size_t i) const;
    bool to_bool(size_t i) const;
    std::string to_text(size_t i) const;   // UTF-8
    IDispatch* to_object(size_t i) const;  // not AddRef'd; nullptr for Nothing
    const VARIANT& raw(size_t i) const;

private:
    VARIANT converted(size_t i, VARTYPE vt) const;
    std::vector<VARIANT*> a_;
};

class DispatchObject : public IDispatch {
public:
    enum Flags { Get = 1, Put = 2, Call = 4 };
    using Handler = std::function<Value(int kind, Args& args)>;  // kind: Get, Put or Call

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** p) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excep, UINT* arg_err) override;

protected:
    DispatchObject() = default;
    virtual ~DispatchObject() = default;
    // Adds a member; `allowed` says which of Get, Put and Call it answers.  DISPID 0 is the default member.
    void add(const std::string& name, DISPID id, int allowed, Handler handler);
    void add(const std::string& name, int allowed, Handler handler);  // the next free id
    // Answers QueryInterface for this id too (an event interface it serves as a sink).
    void also_answer(const IID& iid) { extra_.push_back(iid); }

private:
    struct Member {
        std::string name;
        DISPID id;
        int allowed;
        Handler handler;
    };
    std::vector<Member> members_;
    std::vector<IID> extra_;
    std::atomic<ULONG> refs_{1};
    // Only the thread that made the object calls it (another thread gets a proxy):
    // a call from elsewhere is refused with RPC_E_WRONG_THREAD, never run on the wrong thread.
    std::thread::id owner_ = std::this_thread::get_id();
    DISPID next_id_ = 1;
};

// Values for handlers.
Value text_value(const std::string& utf8);
Value single_value(float f);

}  // namespace kit
