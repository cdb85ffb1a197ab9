// Late-bound client helpers.
#include "host/client.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "tavolin2/kit.h"
#include "tavolin2/platform.h"

namespace host {

// Up to the first NUL, as a C caller reads the text: the movie's reply buffers keep
// the tail of a longer answer behind theirs.
std::string utf8(BSTR b) {
    char* p = T2StringToUTF8(b);
    std::string s = p ? p : "";
    std::free(p);
    return s;
}

namespace {
std::string status_text(HRESULT hr, long& number) {
    BSTR d = nullptr;
    number = T2DescribeStatus(hr, &d);
    std::string s = utf8(d);
    SysFreeString(d);
    return s;
}

std::u16string escaped(BSTR b) {
    std::u16string out;
    UINT n = SysStringLen(b);
    for (UINT i = 0; i < n; ++i) {
        char16_t c = b[i];
        switch (c) {
            case 0: out += u"\\0"; break;
            case u'\t': out += u"\\t"; break;
            case u'\n': out += u"\\n"; break;
            case u'\r': out += u"\\r"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(c));
                    for (char* p = buf; *p; ++p) out.push_back(static_cast<char16_t>(*p));
                } else {
                    out.push_back(c);
                }
        }
    }
    return out;
}
}  // namespace

std::string show(const VARIANT& in) {
    VARIANT v = in;
    while (v.vt == (VT_BYREF | VT_VARIANT)) v = *v.pvarVal;
    switch (v.vt) {
        case VT_EMPTY: return "";
        case VT_NULL: return "Null";
        case VT_BOOL: return v.boolVal ? "True" : "False";
        case VT_DISPATCH: return v.pdispVal ? "<Object>" : "Nothing";
        case VT_UNKNOWN: return v.punkVal ? "<Object>" : "Nothing";
        case VT_ERROR: return "Error " + std::to_string(v.scode & 0xFFFF);
        case VT_BSTR: {
            std::u16string e = escaped(v.bstrVal);
            BSTR b = SysAllocStringLen(e.data(), static_cast<UINT>(e.size()));
            std::string s = utf8(b);
            SysFreeString(b);
            return s;
        }
        default: {
            VARIANT t;
            VariantInit(&t);
            if (FAILED(VariantChangeType(&t, &v, 0, VT_BSTR))) return "<value>";
            std::string s = utf8(t.bstrVal);
            VariantClear(&t);
            return s;
        }
    }
}

std::string error_description(HRESULT hr) {
    IErrorInfo* info = nullptr;
    std::string description;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        BSTR d = nullptr;
        info->GetDescription(&d);
        description = utf8(d);
        SysFreeString(d);
        info->Release();
    }
    long n = 0;
    if (description.empty()) description = status_text(hr, n);
    while (!description.empty() && (description.back() == '\n' || description.back() == '\r')) description.pop_back();
    return description;
}

IDispatch* load_picture(const std::string& path, std::string& error) {
    IDispatch* pic = nullptr;
    HRESULT hr = T2LoadPicture(path.c_str(), &pic);
    if (FAILED(hr)) error = error_description(hr);
    return pic;
}

bool write_whole_file(const std::string& path, const void* data, size_t bytes, std::string& error) {
    const int e = path.find('\0') != std::string::npos ? EINVAL : T2WriteWholeFile(path.c_str(), data, bytes);
    if (e == 0) return true;
    error = "cannot write " + path + ": " + std::strerror(e) + " (error " + std::to_string(e) + ")";
    return false;
}

std::string show_text(BSTR b) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = b;
    return show(v);
}

IDispatch* create_object(const std::string& progid, CallError& error, CLSID* out_clsid) {
    CLSID clsid{};
    HRESULT hr = T2CLSIDFromProgID(progid.c_str(), &clsid);
    if (hr == E_ACCESSDENIED) {
        error = {70, "Permission denied: " + std::string(T2RegistryRefusal()), hr};
        return nullptr;
    }
    if (FAILED(hr)) {
        error = {429, "ActiveX component can't create object: no class named " + progid, hr};
        return nullptr;
    }
    IDispatch* d = nullptr;
    hr = T2CoCreateInstance(clsid, IID_IDispatch, reinterpret_cast<void**>(&d));
    if (hr == E_ACCESSDENIED) {
        error = {70, "Permission denied: " + std::string(T2RegistryRefusal()), hr};
        return nullptr;
    }
    if (FAILED(hr)) {
        error = {429, "ActiveX component can't create object " + progid, hr};
        return nullptr;
    }
    if (out_clsid) *out_clsid = clsid;
    return d;
}

bool invoke(IDispatch* obj, const std::string& member, WORD flags, std::vector<Arg>& args, Value& result,
            CallError& error) {
    // names: the member, then the named arguments
    std::vector<BSTR> names;
    names.push_back(SysAllocStringUTF8(member.c_str()));
    std::vector<size_t> named;
    for (size_t i = 0; i < args.size(); ++i)
        if (!args[i].name.empty()) {
            names.push_back(SysAllocStringUTF8(args[i].name.c_str()));
            named.push_back(i);
        }
    std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
    HRESULT hr = obj->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), 0x0409, ids.data());
    for (BSTR b : names) SysFreeString(b);
    if (FAILED(hr)) {
        long n;
        std::string d = status_text(hr, n);
        if (ids[0] == DISPID_UNKNOWN)
            error = {n, d + " (" + member + ")", hr};
        else
            error = {448, "Named argument not found", hr};
        return false;
    }
    // rgvarg: named arguments first (in the order of their ids), then positional reversed
    std::vector<VARIANT> raw;
    std::vector<DISPID> named_ids;
    const bool put = flags & DISPATCH_PROPERTYPUT;
    if (put) {
        raw.push_back(args.back().value.get());
        named_ids.push_back(DISPID_PROPERTYPUT);
    }
    for (size_t k = 0; k < named.size(); ++k) {
        raw.push_back(args[named[k]].value.get());
        named_ids.push_back(ids[k + 1]);
    }
    std::vector<VARIANT> positional;
    for (size_t i = 0; i + (put ? 1 : 0) < args.size(); ++i)
        if (args[i].name.empty()) positional.push_back(args[i].value.get());
    for (auto it = positional.rbegin(); it != positional.rend(); ++it) raw.push_back(*it);
    DISPPARAMS dp{raw.data(), named_ids.empty() ? nullptr : named_ids.data(), static_cast<UINT>(raw.size()),
                  static_cast<UINT>(named_ids.size())};
    EXCEPINFO ei{};
    UINT arg_err = 0;
    SetErrorInfo(0, nullptr);  // what the thread's error info holds after the call is this call's
    hr = obj->Invoke(ids[0], IID_NULL, 0x0409, flags, &dp, put ? nullptr : result.put(), &ei, &arg_err);
    if (hr == DISP_E_EXCEPTION) {
        long n;
        std::string fallback = status_text(ei.scode, n);
        std::string d = utf8(ei.bstrDescription);
        error = {n, d.empty() ? fallback : d, ei.scode};
        SysFreeString(ei.bstrSource);
        SysFreeString(ei.bstrDescription);
        SysFreeString(ei.bstrHelpFile);
        return false;
    }
    if (FAILED(hr)) {
        long n;
        std::string d = status_text(hr, n);
        if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_PARAMNOTFOUND) {
            // puArgErr counts from the end of rgvarg: turn it into the caller's argument number
            UINT from_end = static_cast<UINT>(raw.size()) - 1 - arg_err;
            if (arg_err >= named_ids.size()) d += " (argument " + std::to_string(from_end + 1) + ")";
            // the library's own account: member, argument, what was given and expected
            IErrorInfo* info = nullptr;
            if (GetErrorInfo(0, &info) == S_OK && info) {
                BSTR text = nullptr;
                if (SUCCEEDED(info->GetDescription(&text)) && text && SysStringLen(text)) d += ": " + utf8(text);
                SysFreeString(text);
                info->Release();
            }
        }
        error = {n, d, hr};
        return false;
    }
    return true;
}

bool member_has_result(const CLSID& clsid, const std::string& member) {
    UINT n = T2GetMemberCount(clsid);
    if (n == 0) return true;
    for (UINT i = 0; i < n; ++i) {
        T2MemberInfo info;
        if (FAILED(T2GetMemberInfo(clsid, i, &info)) || info.kind == T2_KIND_LET) continue;
        BSTR b = SysAllocString(info.name);
        bool same = strcasecmp(utf8(b).c_str(), member.c_str()) == 0;
        SysFreeString(b);
        if (same) return info.result != T2_TYPE_NONE;
    }
    return true;
}

}  // namespace host
