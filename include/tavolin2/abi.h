/* tavolin2 binary interface: the COM-shaped types every client sees.
 *
 * Language: C11 (anonymous unions and structs, char16_t), or C++17 and later;
 * it compiles alone with -pedantic at both levels.
 *
 * Contract, in short:
 *  - Reference counting: every interface pointer handed out (by a factory, by
 *    QueryInterface, through an out-parameter) carries one reference that the
 *    receiver releases with Release().  AddRef/Release are thread-safe; every
 *    other member must be called on the thread that created the object
 *    (apartment model), otherwise it fails with RPC_E_WRONG_THREAD.
 *  - Strings are BSTRs allocated with SysAllocString* from this library.  An
 *    [in] BSTR stays the caller's; an [out] BSTR (result, by-ref write-back,
 *    EXCEPINFO texts, IErrorInfo texts) becomes the caller's, who frees it with
 *    SysFreeString.  A NULL BSTR means the empty string.
 *  - VARIANTs are initialised with VariantInit and emptied with VariantClear,
 *    which frees strings and releases object references they hold.
 *  - A failed member returns a negative HRESULT.  Numbered runtime errors come
 *    back as 0x800A0000 + number with the description in the thread's error
 *    info (GetErrorInfo) or, late-bound, in EXCEPINFO.
 */
#ifndef TAVOLIN2_ABI_H
#define TAVOLIN2_ABI_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
#define T2_EXTERN_C extern "C"
#else
#define T2_EXTERN_C extern
#endif
#ifdef _WIN32
/* On Windows the library is an in-process server: its exports are the four
 * Dll* entry points (named in the module definition file), and the string,
 * value and error-info functions are the platform's own (OLEAUT32). */
#define T2_API T2_EXTERN_C
#define STDMETHODCALLTYPE __stdcall
#define T2_WINAPI __stdcall
#else
#define T2_API T2_EXTERN_C __attribute__((visibility("default")))
#define STDMETHODCALLTYPE /* System V calling convention */
#define T2_WINAPI
#endif

typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef int32_t LONG;
/* The platform's 32-bit BOOL under a name of its own: X11 (Xmd.h) has a
 * BOOL of one byte, and both headers go into one program. */
typedef int32_t T2BOOL;
typedef int32_t DISPID;
typedef int32_t INT;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uint32_t LCID;
typedef uint32_t OLE_COLOR;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef uint16_t VARTYPE;
typedef int16_t SHORT;
typedef int16_t VARIANT_BOOL;
typedef uint8_t BYTE;
typedef double DATE;
typedef char16_t OLECHAR;
typedef OLECHAR* BSTR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef union CY {
    int64_t int64;
} CY;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

typedef struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
#ifdef __cplusplus
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef const GUID& REFGUID;
#else
typedef const IID* REFIID;
typedef const CLSID* REFCLSID;
typedef const GUID* REFGUID;
#endif

/* ---- status codes ---- */
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_ABORT ((HRESULT)0x80004004)
#define E_FAIL ((HRESULT)0x80004005)
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define E_ACCESSDENIED ((HRESULT)0x80070005)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CONNECT_E_NOCONNECTION ((HRESULT)0x80040200)
#define CONNECT_E_ADVISELIMIT ((HRESULT)0x80040201)
#define CONNECT_E_CANNOTCONNECT ((HRESULT)0x80040202)
#define SELFREG_E_TYPELIB ((HRESULT)0x80040200)
#define SELFREG_E_CLASS ((HRESULT)0x80040201)
#define RPC_E_WRONG_THREAD ((HRESULT)0x8001010E)
#define RPC_E_DISCONNECTED ((HRESULT)0x80010108)
#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006)
#define DISP_E_NONAMEDARGS ((HRESULT)0x80020007)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000A)
#define DISP_E_BADINDEX ((HRESULT)0x8002000B)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000E)
#define DISP_E_PARAMNOTOPTIONAL ((HRESULT)0x8002000F)
#define DISP_E_DIVBYZERO ((HRESULT)0x80020012)
#define SUCCEEDED(hr) ((HRESULT)(hr) >= 0)
#define FAILED(hr) ((HRESULT)(hr) < 0)
/* numbered runtime error n as a status */
#define T2_ERROR_STATUS(n) ((HRESULT)(0x800A0000u | ((uint32_t)(n)&0xFFFFu)))
#define T2_IS_ERROR_STATUS(hr) ((((uint32_t)(hr)) & 0xFFFF0000u) == 0x800A0000u)

/* ---- tagged values ---- */
enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_RECORD = 36,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF
};

struct IUnknown;
struct IDispatch;
/* Arrays are not made or read by this library; the pointer keeps the name. */
struct SAFEARRAY;
typedef struct SAFEARRAY SAFEARRAY;

/* The members without a name of their own (as the platform declares them)
 * are anonymous structs, which C++ has only as an extension. */
#if defined(__cplusplus) && defined(__GNUC__)
#define T2_NAMELESS __extension__
#else
#define T2_NAMELESS
#endif
#if defined(__cplusplus) && defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wnested-anon-types"
#pragma clang diagnostic ignored "-Wgnu-anonymous-struct"
#endif

/* A 96-bit scaled integer: value = (Hi32:Mid32:Lo32) / 10^scale, negative
 * when sign is 0x80.  As a VARIANT it fills all 16 bytes (decVal), its
 * wReserved being the VARIANT's vt. */
typedef struct DECIMAL {
    USHORT wReserved;
    union {
        T2_NAMELESS struct {
            BYTE scale;
            BYTE sign;
        };
        USHORT signscale;
    };
    ULONG Hi32;
    union {
        T2_NAMELESS struct {
            ULONG Lo32;
            ULONG Mid32;
        };
        uint64_t Lo64;
    };
} DECIMAL;
#define DECIMAL_NEG ((BYTE)0x80)

typedef struct VARIANT VARIANT;
/* A record by reference, inside a VARIANT. */
struct T2BRECORD {
    void* pvRecord;
    void* pRecInfo;
};
/* The platform's layout: vt, three reserved words, then the value in the
 * second 8 bytes; a DECIMAL overlays all 16. */
struct VARIANT {
    union {
        T2_NAMELESS struct {
            VARTYPE vt;
            WORD wReserved1, wReserved2, wReserved3;
            union {
                int64_t llVal;
                uint64_t ullVal;
                LONG lVal;
                ULONG ulVal;
                INT intVal;
                UINT uintVal;
                char cVal;
                BYTE bVal;
                SHORT iVal;
                USHORT uiVal;
                float fltVal;
                double dblVal;
                VARIANT_BOOL boolVal;
                SCODE scode;
                CY cyVal;
                DATE date;
                BSTR bstrVal;
                struct IUnknown* punkVal;
                struct IDispatch* pdispVal;
                SAFEARRAY* parray;
                char* pcVal;
                BYTE* pbVal;
                SHORT* piVal;
                USHORT* puiVal;
                LONG* plVal;
                ULONG* pulVal;
                int64_t* pllVal;
                uint64_t* pullVal;
                INT* pintVal;
                UINT* puintVal;
                float* pfltVal;
                double* pdblVal;
                VARIANT_BOOL* pboolVal;
                SCODE* pscode;
                CY* pcyVal;
                DATE* pdate;
                BSTR* pbstrVal;
                struct IUnknown** ppunkVal;
                struct IDispatch** ppdispVal;
                SAFEARRAY** pparray;
                VARIANT* pvarVal;
                DECIMAL* pdecVal;
                void* byref;
                struct T2BRECORD brecVal;
            };
        };
        DECIMAL decVal;
    };
};
#if defined(__cplusplus) && defined(__clang__)
#pragma clang diagnostic pop
#endif
typedef VARIANT VARIANTARG;

typedef struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
} DISPPARAMS;

typedef struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(struct EXCEPINFO*);
    SCODE scode;
} EXCEPINFO;

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8
#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define DISPID_PROPERTYPUT (-3)
#define DISPID_NEWENUM (-4)

typedef struct CONNECTDATA {
    struct IUnknown* pUnk;
    DWORD dwCookie;
} CONNECTDATA;

/* ---- well-known interface ids ---- */
T2_API const IID IID_NULL;
T2_API const IID IID_IUnknown;
T2_API const IID IID_IClassFactory;
T2_API const IID IID_IDispatch;
T2_API const IID IID_IConnectionPointContainer;
T2_API const IID IID_IConnectionPoint;
T2_API const IID IID_IEnumConnectionPoints;
T2_API const IID IID_IEnumConnections;
T2_API const IID IID_IErrorInfo;
T2_API const IID IID_ICreateErrorInfo;
T2_API const IID IID_ISupportErrorInfo;
T2_API const IID IID_IPictureDisp;

#ifdef __cplusplus
/* ---- C++ form: the vtable of each struct is the entry table ---- */
struct ITypeInfo; /* typeinfo.h */
struct IConnectionPoint;
struct IConnectionPointContainer;
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
struct IDispatch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                                    DISPID* rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                             DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                             UINT* puArgErr) = 0;
};
struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(T2BOOL fLock) = 0;
};
struct IEnumConnections : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumConnections** ppEnum) = 0;
};
struct IEnumConnectionPoints : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** ppEnum) = 0;
};
struct IConnectionPointContainer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;
};
struct IConnectionPoint : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) = 0;
};
struct IErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;
};
struct ICreateErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) = 0;
};
struct ISupportErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};
#else
/* ---- C form: explicit vtables, This first ---- */
typedef struct ITypeInfo ITypeInfo;
typedef struct IUnknown IUnknown;
typedef struct IDispatch IDispatch;
typedef struct IClassFactory IClassFactory;
typedef struct IConnectionPoint IConnectionPoint;
typedef struct IConnectionPointContainer IConnectionPointContainer;
typedef struct IEnumConnections IEnumConnections;
typedef struct IEnumConnectionPoints IEnumConnectionPoints;
typedef struct IErrorInfo IErrorInfo;
typedef struct ICreateErrorInfo ICreateErrorInfo;
typedef struct ISupportErrorInfo ISupportErrorInfo;

#define T2_IUNKNOWN_SLOTS(I)                                                       \
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(I * This, REFIID riid, void** ppv); \
    ULONG(STDMETHODCALLTYPE* AddRef)(I * This);                                    \
    ULONG(STDMETHODCALLTYPE* Release)(I * This);
#define T2_IDISPATCH_SLOTS(I)                                                                        \
    T2_IUNKNOWN_SLOTS(I)                                                                             \
    HRESULT(STDMETHODCALLTYPE* GetTypeInfoCount)(I * This, UINT * pctinfo);                          \
    HRESULT(STDMETHODCALLTYPE* GetTypeInfo)(I * This, UINT iTInfo, LCID lcid, ITypeInfo * *ppTInfo); \
    HRESULT(STDMETHODCALLTYPE* GetIDsOfNames)                                                        \
    (I * This, REFIID riid, LPOLESTR * rgszNames, UINT cNames, LCID lcid, DISPID * rgDispId);        \
    HRESULT(STDMETHODCALLTYPE* Invoke)                                                               \
    (I * This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS * pDispParams,   \
     VARIANT * pVarResult, EXCEPINFO * pExcepInfo, UINT * puArgErr);

typedef struct IUnknownVtbl {
    T2_IUNKNOWN_SLOTS(IUnknown)
} IUnknownVtbl;
struct IUnknown {
    const IUnknownVtbl* lpVtbl;
};
typedef struct IDispatchVtbl {
    T2_IDISPATCH_SLOTS(IDispatch)
} IDispatchVtbl;
struct IDispatch {
    const IDispatchVtbl* lpVtbl;
};
typedef struct IClassFactoryVtbl {
    T2_IUNKNOWN_SLOTS(IClassFactory)
    HRESULT(STDMETHODCALLTYPE* CreateInstance)(IClassFactory* This, IUnknown* pUnkOuter, REFIID riid, void** ppv);
    HRESULT(STDMETHODCALLTYPE* LockServer)(IClassFactory* This, T2BOOL fLock);
} IClassFactoryVtbl;
struct IClassFactory {
    const IClassFactoryVtbl* lpVtbl;
};
typedef struct IConnectionPointContainerVtbl {
    T2_IUNKNOWN_SLOTS(IConnectionPointContainer)
    HRESULT(STDMETHODCALLTYPE* EnumConnectionPoints)(IConnectionPointContainer* This, IEnumConnectionPoints** ppEnum);
    HRESULT(STDMETHODCALLTYPE* FindConnectionPoint)
    (IConnectionPointContainer* This, REFIID riid, IConnectionPoint** ppCP);
} IConnectionPointContainerVtbl;
struct IConnectionPointContainer {
    const IConnectionPointContainerVtbl* lpVtbl;
};
typedef struct IConnectionPointVtbl {
    T2_IUNKNOWN_SLOTS(IConnectionPoint)
    HRESULT(STDMETHODCALLTYPE* GetConnectionInterface)(IConnectionPoint* This, IID* pIID);
    HRESULT(STDMETHODCALLTYPE* GetConnectionPointContainer)(IConnectionPoint* This, IConnectionPointContainer** ppCPC);
    HRESULT(STDMETHODCALLTYPE* Advise)(IConnectionPoint* This, IUnknown* pUnkSink, DWORD* pdwCookie);
    HRESULT(STDMETHODCALLTYPE* Unadvise)(IConnectionPoint* This, DWORD dwCookie);
    HRESULT(STDMETHODCALLTYPE* EnumConnections)(IConnectionPoint* This, IEnumConnections** ppEnum);
} IConnectionPointVtbl;
struct IConnectionPoint {
    const IConnectionPointVtbl* lpVtbl;
};
typedef struct IErrorInfoVtbl {
    T2_IUNKNOWN_SLOTS(IErrorInfo)
    HRESULT(STDMETHODCALLTYPE* GetGUID)(IErrorInfo* This, GUID* pGUID);
    HRESULT(STDMETHODCALLTYPE* GetSource)(IErrorInfo* This, BSTR* pBstrSource);
    HRESULT(STDMETHODCALLTYPE* GetDescription)(IErrorInfo* This, BSTR* pBstrDescription);
    HRESULT(STDMETHODCALLTYPE* GetHelpFile)(IErrorInfo* This, BSTR* pBstrHelpFile);
    HRESULT(STDMETHODCALLTYPE* GetHelpContext)(IErrorInfo* This, DWORD* pdwHelpContext);
} IErrorInfoVtbl;
struct IErrorInfo {
    const IErrorInfoVtbl* lpVtbl;
};
typedef struct ICreateErrorInfoVtbl {
    T2_IUNKNOWN_SLOTS(ICreateErrorInfo)
    HRESULT(STDMETHODCALLTYPE* SetGUID)(ICreateErrorInfo* This, REFGUID rguid);
    HRESULT(STDMETHODCALLTYPE* SetSource)(ICreateErrorInfo* This, LPOLESTR szSource);
    HRESULT(STDMETHODCALLTYPE* SetDescription)(ICreateErrorInfo* This, LPOLESTR szDescription);
    HRESULT(STDMETHODCALLTYPE* SetHelpFile)(ICreateErrorInfo* This, LPOLESTR szHelpFile);
    HRESULT(STDMETHODCALLTYPE* SetHelpContext)(ICreateErrorInfo* This, DWORD dwHelpContext);
} ICreateErrorInfoVtbl;
struct ICreateErrorInfo {
    const ICreateErrorInfoVtbl* lpVtbl;
};
typedef struct ISupportErrorInfoVtbl {
    T2_IUNKNOWN_SLOTS(ISupportErrorInfo)
    HRESULT(STDMETHODCALLTYPE* InterfaceSupportsErrorInfo)(ISupportErrorInfo* This, REFIID riid);
} ISupportErrorInfoVtbl;
struct ISupportErrorInfo {
    const ISupportErrorInfoVtbl* lpVtbl;
};
typedef struct IEnumConnectionsVtbl {
    T2_IUNKNOWN_SLOTS(IEnumConnections)
    HRESULT(STDMETHODCALLTYPE* Next)(IEnumConnections* This, ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched);
    HRESULT(STDMETHODCALLTYPE* Skip)(IEnumConnections* This, ULONG cConnections);
    HRESULT(STDMETHODCALLTYPE* Reset)(IEnumConnections* This);
    HRESULT(STDMETHODCALLTYPE* Clone)(IEnumConnections* This, IEnumConnections** ppEnum);
} IEnumConnectionsVtbl;
struct IEnumConnections {
    const IEnumConnectionsVtbl* lpVtbl;
};
typedef struct IEnumConnectionPointsVtbl {
    T2_IUNKNOWN_SLOTS(IEnumConnectionPoints)
    HRESULT(STDMETHODCALLTYPE* Next)
    (IEnumConnectionPoints* This, ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched);
    HRESULT(STDMETHODCALLTYPE* Skip)(IEnumConnectionPoints* This, ULONG cConnections);
    HRESULT(STDMETHODCALLTYPE* Reset)(IEnumConnectionPoints* This);
    HRESULT(STDMETHODCALLTYPE* Clone)(IEnumConnectionPoints* This, IEnumConnectionPoints** ppEnum);
} IEnumConnectionPointsVtbl;
struct IEnumConnectionPoints {
    const IEnumConnectionPointsVtbl* lpVtbl;
};
#endif

/* ---- functions exported by libtavolin2.so ---- */
T2_API BSTR T2_WINAPI SysAllocString(const OLECHAR* psz);
T2_API BSTR T2_WINAPI SysAllocStringLen(const OLECHAR* pch, UINT cch);
T2_API void T2_WINAPI SysFreeString(BSTR bstr);
T2_API UINT T2_WINAPI SysStringLen(BSTR bstr);
T2_API UINT T2_WINAPI SysStringByteLen(BSTR bstr);
/* UTF-8 helpers for C clients: SysAllocStringUTF8 copies; T2StringToUTF8 returns a malloc'd text to free(). */
T2_API BSTR SysAllocStringUTF8(const char* utf8);
T2_API char* T2StringToUTF8(BSTR bstr);
/* The same for texts that may hold NUL characters: `length` bytes of UTF-8 in,
 * and the UTF-8 bytes out with their number in *length (a NUL follows them). */
T2_API BSTR T2StringFromUTF8(const char* utf8, size_t length);
T2_API char* T2StringToUTF8Length(BSTR bstr, size_t* length);

T2_API void T2_WINAPI VariantInit(VARIANT* pvarg);
T2_API HRESULT T2_WINAPI VariantClear(VARIANT* pvarg);
T2_API HRESULT T2_WINAPI VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc);
/* Converts with the runtime's rules: half-to-even rounding, DISP_E_OVERFLOW, DISP_E_TYPEMISMATCH. */
T2_API HRESULT T2_WINAPI VariantChangeType(VARIANT* pvargDest, const VARIANT* pvarSrc, USHORT wFlags, VARTYPE vt);

#ifdef _WIN32
/* The platform's conversion with an explicit locale (the library passes 0x0409). */
T2_API HRESULT T2_WINAPI VariantChangeTypeEx(VARIANT* pvargDest, const VARIANT* pvarSrc, LCID lcid, USHORT wFlags,
                                             VARTYPE vt);
#endif

T2_API HRESULT T2_WINAPI SetErrorInfo(ULONG dwReserved, struct IErrorInfo* perrinfo);
T2_API HRESULT T2_WINAPI GetErrorInfo(ULONG dwReserved, struct IErrorInfo** pperrinfo);
T2_API HRESULT T2_WINAPI CreateErrorInfo(struct ICreateErrorInfo** pperrinfo);

T2_API HRESULT T2_WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
T2_API HRESULT T2_WINAPI DllCanUnloadNow(void);
T2_API HRESULT T2_WINAPI DllRegisterServer(void);
T2_API HRESULT T2_WINAPI DllUnregisterServer(void);

#endif
