/* tavolin2: the public C interface.  Include this one header.
 *
 *  - abi.h:        COM-shaped types, BSTR/VARIANT/error-info functions, the entry points
 *  - interfaces.h: the nine default interfaces (C++ structs or C vtables), ids, the enumeration
 *  - errors.h:     the runtime error numbers and their texts
 *  - typeinfo.h:   the type library and type information
 *  - prototypes.h: (include it yourself) one C function a member, naming each
 *                  parameter: _GIF_SaveGIF(gif, pic, sFileName, ...) calls that slot
 *  - below:        helpers and the host hooks of the platform layer
 *
 * Create an object: DllGetClassObject(CLSID_x, IID_IClassFactory, &f), then
 * f->CreateInstance(NULL, IID__x, &p).  Application objects (GIF,
 * clsQELCompany) also have one implicit instance per thread: T2GetAppObject.
 *
 * Language: C11, or C++17 and later; it compiles alone with -pedantic at both.
 */
#ifndef TAVOLIN2_H
#define TAVOLIN2_H

#include "abi.h"
#include "interfaces.h"
#include "errors.h"
#include "typeinfo.h"

/* The implicit instance of an application object, created on the calling
 * thread's first use and kept until that thread ends. */
T2_API HRESULT T2GetAppObject(REFCLSID rclsid, REFIID riid, void** ppv);
/* A programmatic name (TAVOLIN2.cPalette, any case) to its class id; names of
 * other libraries are looked up in the registry file. */
T2_API HRESULT T2CLSIDFromProgID(const char* progid, CLSID* clsid);

/* Where DllRegisterServer writes: $XDG_DATA_HOME/tavolin2/registry, by default
 * ~/.local/share/tavolin2/registry (HOME, else the user database); "" when
 * there is no usable home folder, and then registration fails with the reason
 * in the error info: it never falls back to a folder all users share.  Static
 * text of the calling thread. */
T2_API const char* T2RegistryPath(void);
/* Why the last look-up of this thread refused the registry file, "" when it
 * did not.  The file is believed only when it and its folders from the data
 * folder down belong to the user or root and nobody else may write them, when
 * it is an ordinary file and at most 1 MB; a library it names by path must
 * pass the same test.  T2CLSIDFromProgID and T2CoCreateInstance then answer
 * E_ACCESSDENIED.  Static text of the calling thread. */
T2_API const char* T2RegistryRefusal(void);

/* Creates an object by class id: this library's classes directly, others
 * through the InprocServer32 path of the registry file. */
T2_API HRESULT T2CoCreateInstance(REFCLSID rclsid, REFIID riid, void** ppv);

/* The runtime error number a status stands for (0x800A0000+n gives n, the
 * dispatch statuses their runtime numbers) and a description to free. */
T2_API LONG T2DescribeStatus(HRESULT hr, BSTR* description);

/* The member tables as data: for call help, script bindings and checks. */
enum T2Kind { T2_KIND_METHOD = 0, T2_KIND_GET = 1, T2_KIND_LET = 2 };
enum T2Type {
    T2_TYPE_NONE,
    T2_TYPE_BOOLEAN,
    T2_TYPE_INTEGER,
    T2_TYPE_LONG,
    T2_TYPE_BYTE,
    T2_TYPE_STRING,
    T2_TYPE_VARIANT,
    T2_TYPE_OBJECT,
    T2_TYPE_PICTURE,
    T2_TYPE_DIB,
    T2_TYPE_ENUM,
    T2_TYPE_ROP,
    T2_TYPE_COLOR
};
typedef struct T2MemberInfo {
    const OLECHAR* name; /* static text */
    DISPID id;
    int kind;   /* T2Kind */
    int result; /* T2Type */
    UINT slot;  /* entry-table slot, from 7 */
    UINT param_count;
} T2MemberInfo;
typedef struct T2ParamInfo {
    const OLECHAR* name;
    int type; /* T2Type */
    int by_ref;
    int optional;
    VARIANT default_value; /* VT_EMPTY without a default; the caller clears it with VariantClear */
} T2ParamInfo;
T2_API UINT T2GetMemberCount(REFCLSID rclsid);
T2_API HRESULT T2GetMemberInfo(REFCLSID rclsid, UINT index, T2MemberInfo* info);
T2_API HRESULT T2GetParamInfo(REFCLSID rclsid, UINT member, UINT param, T2ParamInfo* info);
T2_API const char* T2TypeName(int type);

/* Calls across apartments.  An object answers only on the thread that made it;
 * to use it from another thread, hand it over through a stream or the global
 * table and get it back there: the other thread receives a proxy, and each call
 * through it runs on the owner's thread when that thread turns its message
 * loop (DoEvents, the waits inside members, T2PumpMessages, T2RunMessageLoop).
 * Results, by-reference values, the status and the error info come back to the
 * caller; objects passed by value travel as proxies both ways, so events reach
 * a sink that lives on another thread.  A call to a thread that has ended
 * fails with RPC_E_DISCONNECTED.  The caller waits, running calls for its own
 * thread meanwhile.  The stream is released by T2GetInterfaceAndReleaseStream. */
T2_API HRESULT T2MarshalInterThreadInterfaceInStream(REFIID riid, struct IUnknown* obj, struct IUnknown** stream);
T2_API HRESULT T2GetInterfaceAndReleaseStream(struct IUnknown* stream, REFIID riid, void** ppv);
T2_API HRESULT T2RegisterInterfaceInGlobal(struct IUnknown* obj, REFIID riid, DWORD* cookie);
T2_API HRESULT T2GetInterfaceFromGlobal(DWORD cookie, REFIID riid, void** ppv);
T2_API HRESULT T2RevokeInterfaceFromGlobal(DWORD cookie);
/* Runs the calls other threads carried to this one; returns how many ran. */
T2_API int T2PumpMessages(void);
/* Runs them until *stop becomes non-zero (checked at least every 10 ms).  The
 * flag is read as an atomic: another thread sets it with an atomic store
 * (__atomic_store_n(&stop, 1, __ATOMIC_RELEASE)), not a plain assignment. */
T2_API void T2RunMessageLoop(const volatile LONG* stop);

/* Message boxes are shown by the host.  The handler returns the button chosen
 * (1 OK, 2 Cancel, 6 Yes, 7 No), or 0 for the box's default button; texts are
 * UTF-8.  Without a handler the text is printed on stderr and the default
 * button is the answer. */
typedef int (*T2MessageBoxHandler)(void* context, const char* text, const char* title, int style);
typedef void (*T2Hook)(void* context);
T2_API void T2SetMessageBoxHandler(T2MessageBoxHandler handler, void* context);
/* Called by the library's DoEvents: one turn of the host's pending work. */
T2_API void T2SetDoEventsHook(T2Hook hook, void* context);
/* Called when the library asks to end the program; without one the process exits. */
T2_API void T2SetEndProgramHandler(T2Hook hook, void* context);

/* MP3Class play lists: MP3OpenPlayList reads a file of at most this many
 * bytes and entries (an Integer index reaches 32,768 of them); a larger list
 * is refused whole and the list box gets no entry. */
#define T2_PLAYLIST_MAX_BYTES (64L << 20)
#define T2_PLAYLIST_MAX_ENTRIES 32768

#endif
