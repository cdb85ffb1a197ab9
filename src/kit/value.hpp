// One owned VARIANT and UTF-8 texts, for the kit's objects.
#pragma once

#include <cstdlib>
#include <string>

#include "tavolin2/tavolin2.h"

namespace kit {

struct Value {
    VARIANT v;
    Value() { VariantInit(&v); }
    Value(const Value& o) {
        VariantInit(&v);
        VariantCopy(&v, &o.v);
    }
    Value& operator=(const Value& o) {
        if (this != &o) VariantCopy(&v, &o.v);
        return *this;
    }
    ~Value() { VariantClear(&v); }
    static Value text(const std::string& utf8) {
        Value r;
        r.v.vt = VT_BSTR;
        r.v.bstrVal = SysAllocStringUTF8(utf8.c_str());
        return r;
    }
    static Value i2(SHORT x) {
        Value r;
        r.v.vt = VT_I2;
        r.v.iVal = x;
        return r;
    }
    static Value i4(LONG x) {
        Value r;
        r.v.vt = VT_I4;
        r.v.lVal = x;
        return r;
    }
    static Value r8(double x) {
        Value r;
        r.v.vt = VT_R8;
        r.v.dblVal = x;
        return r;
    }
    static Value missing() {
        Value r;
        r.v.vt = VT_ERROR;
        r.v.scode = DISP_E_PARAMNOTFOUND;
        return r;
    }
    static Value boolean(bool b) {
        Value r;
        r.v.vt = VT_BOOL;
        r.v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        return r;
    }
    static Value object(IDispatch* d) {
        Value r;
        r.v.vt = VT_DISPATCH;
        r.v.pdispVal = d;
        if (d) d->AddRef();
        return r;
    }
};

inline std::string utf8(BSTR b) {
    char* p = T2StringToUTF8(b);
    std::string s = p ? p : "";
    std::free(p);
    return s;
}

}  // namespace kit
