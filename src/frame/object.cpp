// Late-bound calls on a caller's object.
#include "object.hpp"

#include <algorithm>

#include "errors.hpp"

namespace t2 {

Variant Object::invoke(const String& member, WORD flags, std::vector<Variant>& args, bool put) const {
    if (!d_) raise(err::ObjectNotSet);
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(member.c_str());
    if (FAILED(d_->GetIDsOfNames(IID_NULL, &name, 1, 0x0409, &id))) raise(err::NoSuchMember);
    return invoke_id(id, flags, args, put);
}

Variant Object::value() const {
    std::vector<Variant> none;
    return invoke_id(DISPID_VALUE, DISPATCH_PROPERTYGET, none, false);
}

Variant Object::invoke_id(DISPID id, WORD flags, std::vector<Variant>& args, bool put) const {
    if (!d_) raise(err::ObjectNotSet);
    std::vector<VARIANT> raw(args.size());
    for (size_t i = 0; i < args.size(); ++i) raw[args.size() - 1 - i] = args[i].raw();  // reversed; borrowed
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS dp{raw.data(), put ? &named : nullptr, static_cast<UINT>(raw.size()), put ? 1u : 0u};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO ei{};
    UINT arg_err = 0;
    HRESULT hr = d_->Invoke(id, IID_NULL, 0x0409, flags, &dp, put ? nullptr : &result, &ei, &arg_err);
    if (hr == DISP_E_EXCEPTION) {
        String description = from_bstr(ei.bstrDescription), source = from_bstr(ei.bstrSource);
        SysFreeString(ei.bstrDescription);
        SysFreeString(ei.bstrSource);
        SysFreeString(ei.bstrHelpFile);
        SCODE sc = ei.scode;
        if (!sc && ei.wCode) sc = T2_ERROR_STATUS(ei.wCode);
        int32_t n = error_number_of(sc);
        throw Error(n, description.empty() ? error_description(n) : description, source);
    }
    if (FAILED(hr)) raise(error_number_of(hr == DISP_E_MEMBERNOTFOUND ? DISP_E_MEMBERNOTFOUND : hr));
    Variant out;
    out.raw() = result;
    return out;
}

Variant Object::call(const String& member, std::vector<Variant> args) const {
    return invoke(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, false);
}

Variant Object::get(const String& member, std::vector<Variant> args) const {
    return invoke(member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, false);
}

void Object::put(const String& member, const Variant& value) const {
    std::vector<Variant> args{value};
    invoke(member, DISPATCH_PROPERTYPUT, args, true);
}

}  // namespace t2
