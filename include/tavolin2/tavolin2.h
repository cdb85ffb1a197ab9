/* tavolin2: the public C interface.  Include this one header.
 *
 *  - abi.h:        COM-shaped types, BSTR/VARIANT/error-info functions, the entry points
 *  - interfaces.h: the nine default interfaces (C++ structs or C vtables), ids, the enumeration
 *  - below:        helpers and the host hooks of the platform layer
 *
 * Create an object: DllGetClassObject(CLSID_x, IID_IClassFactory, &f), then
 * f->CreateInstance(NULL, IID__x, &p).  Application objects (GIF,
 * clsQELCompany) also have one implicit instance per thread: T2GetAppObject.
 */
#ifndef TAVOLIN2_H
#define TAVOLIN2_H

#include "abi.h"
#include "interfaces.h"

/* The implicit instance of an application object, created on the calling
 * thread's first use and kept until that thread ends. */
T2_API HRESULT T2GetAppObject(REFCLSID rclsid, REFIID riid, void** ppv);
/* A programmatic name (TAVOLIN2.cPalette, any case) to its class id; names of
 * other libraries are looked up in the registry file. */
T2_API HRESULT T2CLSIDFromProgID(const char* progid, CLSID* clsid);

/* Message boxes are shown by the host.  The handler returns the button chosen
 * (1 OK, 2 Cancel, 6 Yes, 7 No); texts are UTF-8.  Without a handler the text
 * is printed on stderr and the default button is the answer. */
typedef int (*T2MessageBoxHandler)(void* context, const char* text, const char* title, int style);
typedef void (*T2Hook)(void* context);
T2_API void T2SetMessageBoxHandler(T2MessageBoxHandler handler, void* context);
/* Called by the library's DoEvents: one turn of the host's pending work. */
T2_API void T2SetDoEventsHook(T2Hook hook, void* context);
/* Called when the library asks to end the program; without one the process exits. */
T2_API void T2SetEndProgramHandler(T2Hook hook, void* context);

#endif
