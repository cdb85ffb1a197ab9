"""The binary interface of tavolin2 in ctypes: the libraries, VARIANT,
DISPPARAMS, EXCEPINFO, the type-information records and vtable calls."""

import ctypes
import os
from ctypes import (CFUNCTYPE, POINTER, Structure, Union, byref, c_char_p, c_double, c_float, c_int, c_int16,
                    c_int32, c_int64, c_longlong, c_uint, c_uint8, c_uint16, c_uint32, c_void_p, cast)

HRESULT = c_int32
S_OK = 0
VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_DISPATCH, VT_ERROR, VT_BOOL, \
    VT_VARIANT, VT_UNKNOWN = range(14)
VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT = 16, 17, 18, 19, 20, 21, 22, 23
VT_PTR = 26
VT_BYREF = 0x4000
DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT = 1, 2, 4
DISPID_PROPERTYPUT = -3
DISP_E_MEMBERNOTFOUND = -2147352573
DISP_E_PARAMNOTFOUND = -2147352572
DISP_E_TYPEMISMATCH = -2147352571
DISP_E_UNKNOWNNAME = -2147352570
DISP_E_EXCEPTION = -2147352567
DISP_E_BADPARAMCOUNT = -2147352562
INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF = 1, 2, 4, 8
PARAMFLAG_FOPT, PARAMFLAG_FHASDEFAULT = 0x10, 0x20


class GUID(Structure):
    _fields_ = [("Data1", c_uint32), ("Data2", c_uint16), ("Data3", c_uint16), ("Data4", c_uint8 * 8)]


class _Value(Union):
    _fields_ = [("llVal", c_int64), ("lVal", c_int32), ("bVal", c_uint8), ("iVal", c_int16), ("fltVal", c_float),
                ("dblVal", c_double), ("boolVal", c_int16), ("scode", c_int32), ("bstrVal", c_void_p),
                ("pdispVal", c_void_p), ("byref", c_void_p), ("pair", c_void_p * 2)]


class VARIANT(Structure):
    _anonymous_ = ("u",)
    _fields_ = [("vt", c_uint16), ("r1", c_uint16), ("r2", c_uint16), ("r3", c_uint16), ("u", _Value)]


class DISPPARAMS(Structure):
    _fields_ = [("rgvarg", POINTER(VARIANT)), ("rgdispidNamedArgs", POINTER(c_int32)), ("cArgs", c_uint),
                ("cNamedArgs", c_uint)]


class EXCEPINFO(Structure):
    _fields_ = [("wCode", c_uint16), ("wReserved", c_uint16), ("bstrSource", c_void_p),
                ("bstrDescription", c_void_p), ("bstrHelpFile", c_void_p), ("dwHelpContext", c_uint32),
                ("pvReserved", c_void_p), ("pfnDeferredFillIn", c_void_p), ("scode", c_int32)]


class TYPEDESC(Structure):
    _fields_ = [("inner", c_void_p), ("vt", c_uint16)]


class _ParamDesc(Structure):
    _fields_ = [("pparamdescex", c_void_p), ("wParamFlags", c_uint16)]


class ELEMDESC(Structure):
    _fields_ = [("tdesc", TYPEDESC), ("paramdesc", _ParamDesc)]


class FUNCDESC(Structure):
    _fields_ = [("memid", c_int32), ("lprgscode", c_void_p), ("lprgelemdescParam", POINTER(ELEMDESC)),
                ("funckind", c_int), ("invkind", c_int), ("callconv", c_int), ("cParams", c_int16),
                ("cParamsOpt", c_int16), ("oVft", c_int16), ("cScodes", c_int16), ("elemdescFunc", ELEMDESC),
                ("wFuncFlags", c_uint16)]


class TYPEATTR(Structure):
    _fields_ = [("guid", GUID), ("lcid", c_uint32), ("dwReserved", c_uint32), ("memidConstructor", c_int32),
                ("memidDestructor", c_int32), ("lpstrSchema", c_void_p), ("cbSizeInstance", c_uint32),
                ("typekind", c_int), ("cFuncs", c_uint16), ("cVars", c_uint16), ("cImplTypes", c_uint16),
                ("cbSizeVft", c_uint16), ("cbAlignment", c_uint16), ("wTypeFlags", c_uint16),
                ("wMajorVerNum", c_uint16), ("wMinorVerNum", c_uint16)]


def _load():
    """The library and the kit: by TAVOLIN2_LIBRARY (a file name; the kit
    beside it or by TAVOLIN2_KIT_LIBRARY), else beside this package (the
    wheel's layout), else the folder the CMake install wrote into _config,
    else the system's search by soname."""
    named = os.environ.get("TAVOLIN2_LIBRARY")
    if named:
        folder = os.path.dirname(os.path.abspath(named))
        kit = os.environ.get("TAVOLIN2_KIT_LIBRARY") or os.path.join(folder, "libtavolin2-kit.so")
        lib = ctypes.CDLL(named, mode=ctypes.RTLD_GLOBAL)
        return lib, ctypes.CDLL(kit)
    names = ("libtavolin2.so.2", "libtavolin2-kit.so.2")
    here = os.path.dirname(os.path.abspath(__file__))
    folders = [here]
    try:
        from . import _config
        folders.append(os.path.normpath(os.path.join(here, _config.LIBDIR)))
    except ImportError:
        pass
    # the first folder that holds both, so the library and the kit are one build
    folder = next((f for f in folders if all(os.path.exists(os.path.join(f, n)) for n in names)), None)
    lib, kit = (os.path.join(folder, n) for n in names) if folder else names
    return ctypes.CDLL(lib, mode=ctypes.RTLD_GLOBAL), ctypes.CDLL(kit)


lib, kit = _load()

lib.SysAllocStringUTF8.restype = c_void_p
lib.SysAllocStringUTF8.argtypes = [c_char_p]
lib.SysFreeString.argtypes = [c_void_p]
lib.SysStringLen.restype = c_uint
lib.SysStringLen.argtypes = [c_void_p]
lib.VariantInit.argtypes = [POINTER(VARIANT)]
lib.VariantClear.argtypes = [POINTER(VARIANT)]
lib.VariantCopy.argtypes = [POINTER(VARIANT), POINTER(VARIANT)]
lib.VariantChangeType.argtypes = [POINTER(VARIANT), POINTER(VARIANT), c_uint16, c_uint16]
lib.GetErrorInfo.argtypes = [c_uint32, POINTER(c_void_p)]
lib.T2DescribeStatus.restype = c_int32
lib.T2DescribeStatus.argtypes = [HRESULT, POINTER(c_void_p)]
lib.T2CLSIDFromProgID.argtypes = [c_char_p, POINTER(GUID)]
lib.T2CoCreateInstance.argtypes = [POINTER(GUID), POINTER(GUID), POINTER(c_void_p)]
for _name in ("T2LoadPicture",):
    getattr(kit, _name).argtypes = [c_char_p, POINTER(c_void_p)]
kit.T2SavePicture.argtypes = [c_void_p, c_char_p]
kit.T2CreatePictureBox.argtypes = [c_int32, c_int32, POINTER(c_void_p)]
kit.T2CreateListBox.argtypes = [POINTER(c_void_p)]
SINK_INVOKE = CFUNCTYPE(HRESULT, c_void_p, c_int32, POINTER(DISPPARAMS), POINTER(VARIANT))
kit.T2CreateSink.argtypes = [POINTER(GUID), SINK_INVOKE, c_void_p, c_void_p, POINTER(c_void_p)]


def guid(name):
    return GUID.in_dll(lib, name)


IID_NULL = guid("IID_NULL")
IID_IDispatch = guid("IID_IDispatch")
IID_IConnectionPointContainer = guid("IID_IConnectionPointContainer")

_prototypes = {}


def vcall(obj, index, restype, argtypes, *args):
    """Calls slot `index` of the object's vtable with the object first."""
    key = (restype, tuple(argtypes))
    proto = _prototypes.get(key)
    if proto is None:
        proto = _prototypes[key] = CFUNCTYPE(restype, c_void_p, *argtypes)
    table = cast(c_void_p(obj), POINTER(POINTER(c_void_p)))[0]
    return proto(table[index])(obj, *args)


def add_ref(obj):
    vcall(obj, 1, c_uint32, [])


def release(obj):
    vcall(obj, 2, c_uint32, [])


def bstr(text):
    return lib.SysAllocStringUTF8(text.encode("utf-8"))


def text_of(b):
    """A BSTR's text (UTF-16 code units, as many as it holds)."""
    if not b:
        return ""
    n = lib.SysStringLen(b)
    raw = ctypes.string_at(b, n * 2)
    return raw.decode("utf-16-le", errors="surrogatepass")


def take_text(b):
    s = text_of(b)
    lib.SysFreeString(b)
    return s


def status_text(hr):
    d = c_void_p()
    number = lib.T2DescribeStatus(hr, byref(d))
    return number, take_text(d.value)


def error_info():
    """The thread's error info as (description, source), or None."""
    info = c_void_p()
    if lib.GetErrorInfo(0, byref(info)) != S_OK or not info.value:
        return None
    d, s = c_void_p(), c_void_p()
    vcall(info.value, 4, HRESULT, [POINTER(c_void_p)], byref(s))
    vcall(info.value, 5, HRESULT, [POINTER(c_void_p)], byref(d))
    release(info.value)
    return take_text(d.value), take_text(s.value)
