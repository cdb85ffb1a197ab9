/* The entry-table slot of each member of the interfaces the library
 * implements, in the platform's order: X(interface, member, slot).  The C
 * view checks them against its lpVtbl structs (slots.c), the C++ view
 * against its virtual functions (tests/frame/abi_test.cpp), so the two views
 * agree with each other and with the platform. */
#ifndef TAVOLIN2_TEST_SLOTS_H
#define TAVOLIN2_TEST_SLOTS_H

/* clang-format off */
#define T2_TEST_SLOTS(X) \
    X(IUnknown, QueryInterface, 0) X(IUnknown, AddRef, 1) X(IUnknown, Release, 2) \
    X(IDispatch, QueryInterface, 0) X(IDispatch, Release, 2) X(IDispatch, GetTypeInfoCount, 3) \
    X(IDispatch, GetTypeInfo, 4) X(IDispatch, GetIDsOfNames, 5) X(IDispatch, Invoke, 6) \
    X(IClassFactory, Release, 2) X(IClassFactory, CreateInstance, 3) X(IClassFactory, LockServer, 4) \
    X(IConnectionPointContainer, EnumConnectionPoints, 3) X(IConnectionPointContainer, FindConnectionPoint, 4) \
    X(IConnectionPoint, GetConnectionInterface, 3) X(IConnectionPoint, GetConnectionPointContainer, 4) \
    X(IConnectionPoint, Advise, 5) X(IConnectionPoint, Unadvise, 6) X(IConnectionPoint, EnumConnections, 7) \
    X(IEnumConnections, Release, 2) X(IEnumConnections, Next, 3) X(IEnumConnections, Skip, 4) \
    X(IEnumConnections, Reset, 5) X(IEnumConnections, Clone, 6) \
    X(IEnumConnectionPoints, Release, 2) X(IEnumConnectionPoints, Next, 3) X(IEnumConnectionPoints, Skip, 4) \
    X(IEnumConnectionPoints, Reset, 5) X(IEnumConnectionPoints, Clone, 6) \
    X(IErrorInfo, GetGUID, 3) X(IErrorInfo, GetSource, 4) X(IErrorInfo, GetDescription, 5) \
    X(IErrorInfo, GetHelpFile, 6) X(IErrorInfo, GetHelpContext, 7) \
    X(ICreateErrorInfo, Release, 2) X(ICreateErrorInfo, SetGUID, 3) X(ICreateErrorInfo, SetSource, 4) \
    X(ICreateErrorInfo, SetDescription, 5) X(ICreateErrorInfo, SetHelpFile, 6) X(ICreateErrorInfo, SetHelpContext, 7) \
    X(ISupportErrorInfo, Release, 2) X(ISupportErrorInfo, InterfaceSupportsErrorInfo, 3) \
    X(ITypeInfo, GetTypeAttr, 3) X(ITypeInfo, GetTypeComp, 4) X(ITypeInfo, GetFuncDesc, 5) X(ITypeInfo, GetVarDesc, 6) \
    X(ITypeInfo, GetNames, 7) X(ITypeInfo, GetRefTypeOfImplType, 8) X(ITypeInfo, GetImplTypeFlags, 9) \
    X(ITypeInfo, GetIDsOfNames, 10) X(ITypeInfo, Invoke, 11) X(ITypeInfo, GetDocumentation, 12) \
    X(ITypeInfo, GetDllEntry, 13) X(ITypeInfo, GetRefTypeInfo, 14) X(ITypeInfo, AddressOfMember, 15) \
    X(ITypeInfo, CreateInstance, 16) X(ITypeInfo, GetMops, 17) X(ITypeInfo, GetContainingTypeLib, 18) \
    X(ITypeInfo, ReleaseTypeAttr, 19) X(ITypeInfo, ReleaseFuncDesc, 20) X(ITypeInfo, ReleaseVarDesc, 21) \
    X(ITypeLib, GetTypeInfoCount, 3) X(ITypeLib, GetTypeInfo, 4) X(ITypeLib, GetTypeInfoType, 5) \
    X(ITypeLib, GetTypeInfoOfGuid, 6) X(ITypeLib, GetLibAttr, 7) X(ITypeLib, GetTypeComp, 8) \
    X(ITypeLib, GetDocumentation, 9) X(ITypeLib, IsName, 10) X(ITypeLib, FindName, 11) X(ITypeLib, ReleaseTLibAttr, 12) \
    X(_GIF, Invoke, 6) X(_GIF, SaveGIF, 7) X(_GIF, put_BestQuality, 9) \
    X(_cPalette, CreateOptimal, 13) X(_cPalette, CreateWebSafe, 18) \
    X(_cDIBSection, PaintPicture, 15) X(_cDIBSection, ApiError, 23) \
    X(_clsBCAT175, Barcode128Draw, 26) X(_MovieModule, timeOut, 78) X(_clsQELCompany, GetQELCompanyInformation, 7)

/* The number of slots of each entry table. */
#define T2_TEST_SLOT_COUNTS(X) \
    X(IUnknown, 3) X(IDispatch, 7) X(IClassFactory, 5) X(IConnectionPointContainer, 5) X(IConnectionPoint, 8) \
    X(IEnumConnections, 7) X(IEnumConnectionPoints, 7) X(IErrorInfo, 8) X(ICreateErrorInfo, 8) \
    X(ISupportErrorInfo, 4) X(ITypeInfo, 22) X(ITypeLib, 13) \
    X(_clsTavolin2, 7) X(_clsQELCompany, 8) X(_GIF, 10) X(_cPalette, 19) X(_cDIBSection, 24) X(_MP3Class, 25) \
    X(_clsBCAT175, 27) X(_MovieModule, 79)
/* clang-format on */

#endif
