/* Type information: the type library TAVOLIN2 and one ITypeInfo per type,
 * built from the same member rows as the entry tables and the dispatch.
 * The structures and entry tables have the platform's layout.
 *
 * Walking it: IDispatch::GetTypeInfo(0, ...) on any object gives the dispatch
 * view of its default interface; GetContainingTypeLib gives the library, whose
 * GetTypeInfo(i) for i < GetTypeInfoCount() lists every type (coclasses,
 * interfaces, event interfaces, the enumeration).  T2LoadRegTypeLib and
 * T2LoadTypeLib give the library directly.  Descriptors from GetTypeAttr,
 * GetFuncDesc, GetVarDesc and GetLibAttr are handed back with the matching
 * Release call; texts from GetNames and GetDocumentation are the caller's.
 *
 * Language: C11, or C++17 and later; it compiles alone with -pedantic at both.
 */
#ifndef TAVOLIN2_TYPEINFO_H
#define TAVOLIN2_TYPEINFO_H

#include "abi.h"

typedef DISPID MEMBERID;
typedef DWORD HREFTYPE;
#define MEMBERID_NIL DISPID_UNKNOWN

typedef enum TYPEKIND {
    TKIND_ENUM = 0,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION,
    TKIND_MAX
} TYPEKIND;
typedef enum FUNCKIND { FUNC_VIRTUAL = 0, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH } FUNCKIND;
typedef enum INVOKEKIND {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8
} INVOKEKIND;
typedef enum CALLCONV { CC_FASTCALL = 0, CC_CDECL = 1, CC_PASCAL, CC_MACPASCAL, CC_STDCALL, CC_SYSCALL = 6 } CALLCONV;
typedef enum VARKIND { VAR_PERINSTANCE = 0, VAR_STATIC, VAR_CONST, VAR_DISPATCH } VARKIND;
typedef enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32, SYS_MAC, SYS_WIN64 } SYSKIND;

/* type flags */
#define TYPEFLAG_FAPPOBJECT 0x1
#define TYPEFLAG_FCANCREATE 0x2
#define TYPEFLAG_FPREDECLID 0x8
#define TYPEFLAG_FHIDDEN 0x10
#define TYPEFLAG_FDUAL 0x40
#define TYPEFLAG_FNONEXTENSIBLE 0x80
#define TYPEFLAG_FOLEAUTOMATION 0x100
#define TYPEFLAG_FDISPATCHABLE 0x1000
/* parameter flags */
#define PARAMFLAG_NONE 0x0
#define PARAMFLAG_FIN 0x1
#define PARAMFLAG_FOUT 0x2
#define PARAMFLAG_FRETVAL 0x8
#define PARAMFLAG_FOPT 0x10
#define PARAMFLAG_FHASDEFAULT 0x20
/* implemented-type flags (coclasses) */
#define IMPLTYPEFLAG_FDEFAULT 0x1
#define IMPLTYPEFLAG_FSOURCE 0x2
/* function flags */
#define FUNCFLAG_FRESTRICTED 0x1
/* element types beyond the variant types */
#define VT_VOID 24
#define VT_HRESULT 25
#define VT_PTR 26
#define VT_USERDEFINED 29

#define TYPE_E_ELEMENTNOTFOUND ((HRESULT)0x8002802B)
#define TYPE_E_LIBNOTREGISTERED ((HRESULT)0x8002801D)
#define TYPE_E_CANTLOADLIBRARY ((HRESULT)0x80029C4A)

typedef struct TYPEDESC {
    union {
        struct TYPEDESC* lptdesc; /* VT_PTR: what it points at */
        void* lpadesc;
        HREFTYPE hreftype; /* VT_USERDEFINED: for GetRefTypeInfo */
    };
    VARTYPE vt;
} TYPEDESC;
typedef struct PARAMDESCEX {
    ULONG cBytes;
    VARIANTARG varDefaultValue;
} PARAMDESCEX;
typedef struct PARAMDESC {
    PARAMDESCEX* pparamdescex; /* with PARAMFLAG_FHASDEFAULT */
    USHORT wParamFlags;
} PARAMDESC;
typedef struct IDLDESC {
    uintptr_t dwReserved;
    USHORT wIDLFlags;
} IDLDESC;
typedef struct ELEMDESC {
    TYPEDESC tdesc;
    union {
        IDLDESC idldesc;
        PARAMDESC paramdesc;
    };
} ELEMDESC;
typedef struct TYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
} TYPEATTR;
typedef struct FUNCDESC {
    MEMBERID memid;
    SCODE* lprgscode;
    ELEMDESC* lprgelemdescParam;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    CALLCONV callconv;
    SHORT cParams;
    SHORT cParamsOpt;
    SHORT oVft;
    SHORT cScodes;
    ELEMDESC elemdescFunc;
    WORD wFuncFlags;
} FUNCDESC;
typedef struct VARDESC {
    MEMBERID memid;
    LPOLESTR lpstrSchema;
    union {
        ULONG oInst;
        VARIANT* lpvarValue; /* VAR_CONST */
    };
    ELEMDESC elemdescVar;
    WORD wVarFlags;
    VARKIND varkind;
} VARDESC;
typedef struct TLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
} TLIBATTR;

T2_API const IID IID_ITypeInfo;
T2_API const IID IID_ITypeLib;

#ifdef __cplusplus
struct ITypeLib;
struct ITypeComp;
struct ITypeInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVarDesc(UINT index, VARDESC** ppVarDesc) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                                             VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                                       DWORD* pdwHelpContext, BSTR* pBstrHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName,
                                                  BSTR* pBstrName, WORD* pwOrdinal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID memid, INVOKEKIND invKind, void** ppv) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObj) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMops(MEMBERID memid, BSTR* pBstrMops) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) = 0;
    virtual void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) = 0;
    virtual void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) = 0;
    virtual void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC* pVarDesc) = 0;
};
struct ITypeLib : IUnknown {
    virtual UINT STDMETHODCALLTYPE GetTypeInfoCount() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                                       DWORD* pdwHelpContext, BSTR* pBstrHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsName(LPOLESTR szNameBuf, ULONG lHashVal, T2BOOL* pfName) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo,
                                               MEMBERID* rgMemId, USHORT* pcFound) = 0;
    virtual void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) = 0;
};
#else
typedef struct ITypeLib ITypeLib;
typedef struct ITypeComp ITypeComp;
typedef struct ITypeInfoVtbl {
    T2_IUNKNOWN_SLOTS(ITypeInfo)
    HRESULT(STDMETHODCALLTYPE* GetTypeAttr)(ITypeInfo* This, TYPEATTR** ppTypeAttr);
    HRESULT(STDMETHODCALLTYPE* GetTypeComp)(ITypeInfo* This, ITypeComp** ppTComp);
    HRESULT(STDMETHODCALLTYPE* GetFuncDesc)(ITypeInfo* This, UINT index, FUNCDESC** ppFuncDesc);
    HRESULT(STDMETHODCALLTYPE* GetVarDesc)(ITypeInfo* This, UINT index, VARDESC** ppVarDesc);
    HRESULT(STDMETHODCALLTYPE* GetNames)
    (ITypeInfo* This, MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames);
    HRESULT(STDMETHODCALLTYPE* GetRefTypeOfImplType)(ITypeInfo* This, UINT index, HREFTYPE* pRefType);
    HRESULT(STDMETHODCALLTYPE* GetImplTypeFlags)(ITypeInfo* This, UINT index, INT* pImplTypeFlags);
    HRESULT(STDMETHODCALLTYPE* GetIDsOfNames)(ITypeInfo* This, LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId);
    HRESULT(STDMETHODCALLTYPE* Invoke)
    (ITypeInfo* This, void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
     EXCEPINFO* pExcepInfo, UINT* puArgErr);
    HRESULT(STDMETHODCALLTYPE* GetDocumentation)
    (ITypeInfo* This, MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
     BSTR* pBstrHelpFile);
    HRESULT(STDMETHODCALLTYPE* GetDllEntry)
    (ITypeInfo* This, MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName, WORD* pwOrdinal);
    HRESULT(STDMETHODCALLTYPE* GetRefTypeInfo)(ITypeInfo* This, HREFTYPE hRefType, ITypeInfo** ppTInfo);
    HRESULT(STDMETHODCALLTYPE* AddressOfMember)(ITypeInfo* This, MEMBERID memid, INVOKEKIND invKind, void** ppv);
    HRESULT(STDMETHODCALLTYPE* CreateInstance)(ITypeInfo* This, IUnknown* pUnkOuter, REFIID riid, void** ppvObj);
    HRESULT(STDMETHODCALLTYPE* GetMops)(ITypeInfo* This, MEMBERID memid, BSTR* pBstrMops);
    HRESULT(STDMETHODCALLTYPE* GetContainingTypeLib)(ITypeInfo* This, ITypeLib** ppTLib, UINT* pIndex);
    void(STDMETHODCALLTYPE* ReleaseTypeAttr)(ITypeInfo* This, TYPEATTR* pTypeAttr);
    void(STDMETHODCALLTYPE* ReleaseFuncDesc)(ITypeInfo* This, FUNCDESC* pFuncDesc);
    void(STDMETHODCALLTYPE* ReleaseVarDesc)(ITypeInfo* This, VARDESC* pVarDesc);
} ITypeInfoVtbl;
struct ITypeInfo {
    const ITypeInfoVtbl* lpVtbl;
};
typedef struct ITypeLibVtbl {
    T2_IUNKNOWN_SLOTS(ITypeLib)
    UINT(STDMETHODCALLTYPE* GetTypeInfoCount)(ITypeLib* This);
    HRESULT(STDMETHODCALLTYPE* GetTypeInfo)(ITypeLib* This, UINT index, ITypeInfo** ppTInfo);
    HRESULT(STDMETHODCALLTYPE* GetTypeInfoType)(ITypeLib* This, UINT index, TYPEKIND* pTKind);
    HRESULT(STDMETHODCALLTYPE* GetTypeInfoOfGuid)(ITypeLib* This, REFGUID guid, ITypeInfo** ppTinfo);
    HRESULT(STDMETHODCALLTYPE* GetLibAttr)(ITypeLib* This, TLIBATTR** ppTLibAttr);
    HRESULT(STDMETHODCALLTYPE* GetTypeComp)(ITypeLib* This, ITypeComp** ppTComp);
    HRESULT(STDMETHODCALLTYPE* GetDocumentation)
    (ITypeLib* This, INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext, BSTR* pBstrHelpFile);
    HRESULT(STDMETHODCALLTYPE* IsName)(ITypeLib* This, LPOLESTR szNameBuf, ULONG lHashVal, T2BOOL* pfName);
    HRESULT(STDMETHODCALLTYPE* FindName)
    (ITypeLib* This, LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo, MEMBERID* rgMemId, USHORT* pcFound);
    void(STDMETHODCALLTYPE* ReleaseTLibAttr)(ITypeLib* This, TLIBATTR* pTLibAttr);
} ITypeLibVtbl;
struct ITypeLib {
    const ITypeLibVtbl* lpVtbl;
};
#endif

/* The type library by its id (LIBID_TAVOLIN2, version 1.0 or any lower minor
 * version of major 1, any locale), or from the library file that holds it
 * (the registration's TypeLib path names it). */
T2_API HRESULT T2LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** pptlib);
T2_API HRESULT T2LoadTypeLib(const char* path_utf8, ITypeLib** pptlib);

#endif
