"""tavolin2 from Python: objects by programmatic name, their members as
attributes, events, and the picture kit.

    import tavolin2
    gif = tavolin2.Dispatch("TAVOLIN2.GIF")
    gif.BestQuality = True
    gif.SaveGIF(tavolin2.LoadPicture("in.png"), "out.gif")

Properties and methods are told apart by the object's type information.
Texts are str, Booleans bool, Nothing None; a call that passes arguments to
by-reference parameters returns (result, byref1, byref2, ...) with the values
the member wrote, in parameter order.  Optional arguments may be left out
(Missing stands for one in the middle) or given by name.  Failures raise
ComError.
"""

import sys
import traceback
from ctypes import POINTER, byref, c_int32, c_uint, c_void_p, cast, pointer

from . import _com as c
from ._com import HRESULT, VARIANT

__all__ = ["Dispatch", "DispatchWithEvents", "ComError", "Missing", "LoadPicture", "SavePicture", "PictureBox",
           "ListBox"]


class ComError(Exception):
    """A failed call: .number (the runtime error number, 0 for a status
    without one), .description, .source and .hresult."""

    def __init__(self, hresult, description, source="", number=None):
        self.hresult = hresult
        if number is None:
            n = c.lib.T2DescribeStatus(hresult, None)
            number = 0 if n == hresult else n
        self.number = number
        self.description = description
        self.source = source
        super().__init__(f"error {self.number}: {description}" if self.number else description)


class _MissingType:
    def __repr__(self):
        return "tavolin2.Missing"


Missing = _MissingType()
"""An omitted optional argument in the middle of a call."""


def _fail(hr, what=""):
    info = c.error_info()
    description, source = info if info and info[0] else (c.status_text(hr)[1], "")
    raise ComError(hr, f"{what}: {description}" if what else description, source)


def _to_variant(value, v):
    """Fills the initialised VARIANT `v` with a Python value."""
    if isinstance(value, Dispatch):
        v.vt, v.pdispVal = c.VT_DISPATCH, value._obj
        c.add_ref(value._obj)
    elif value is None:
        v.vt, v.pdispVal = c.VT_DISPATCH, None
    elif value is Missing:
        v.vt, v.scode = c.VT_ERROR, c.DISP_E_PARAMNOTFOUND
    elif isinstance(value, bool):
        v.vt, v.boolVal = c.VT_BOOL, -1 if value else 0
    elif isinstance(value, int):
        if -2**31 <= value < 2**31:
            v.vt, v.lVal = c.VT_I4, value
        else:
            v.vt, v.dblVal = c.VT_R8, float(value)
    elif isinstance(value, float):
        v.vt, v.dblVal = c.VT_R8, value
    elif isinstance(value, str):
        v.vt, v.bstrVal = c.VT_BSTR, c.bstr(value)
    else:
        raise TypeError(f"tavolin2 cannot pass a {type(value).__name__}")


def _from_variant(v, methods=None):
    """A VARIANT's value as Python's (the VARIANT stays the caller's)."""
    while v.vt == c.VT_BYREF | c.VT_VARIANT:
        v = cast(v.byref, POINTER(VARIANT))[0]
    vt = v.vt
    if vt & c.VT_BYREF:
        plain = VARIANT()
        c.lib.VariantInit(byref(plain))
        if c.lib.VariantCopy(byref(plain), byref(v)) != 0 or plain.vt & c.VT_BYREF:
            raise ComError(c.DISP_E_TYPEMISMATCH, "a by-reference value of an unknown kind")
        try:
            return _from_variant(plain)
        finally:
            c.lib.VariantClear(byref(plain))
    if vt in (c.VT_EMPTY, c.VT_NULL):
        return None
    if vt == c.VT_BOOL:
        return v.boolVal != 0
    if vt == c.VT_BSTR:
        return c.text_of(v.bstrVal)
    if vt in (c.VT_DISPATCH, c.VT_UNKNOWN):
        return Dispatch._wrap(v.pdispVal, add_ref=True) if v.pdispVal else None
    if vt == c.VT_ERROR:
        return v.scode
    if vt in (c.VT_R4, c.VT_R8, c.VT_DATE, c.VT_CY):
        if vt == c.VT_R4:
            return v.fltVal
        if vt == c.VT_CY:
            return v.llVal / 10000
        return v.dblVal
    n = VARIANT()
    c.lib.VariantInit(byref(n))
    if c.lib.VariantChangeType(byref(n), byref(v), 0, c.VT_I8 if vt in (c.VT_I8, c.VT_UI8) else c.VT_R8) == 0:
        value = n.llVal if n.vt == c.VT_I8 else n.dblVal
        return int(value)
    raise ComError(c.DISP_E_TYPEMISMATCH, f"a value of type {vt} has no Python form")


class _Member:
    """What the type information says of one member name."""

    def __init__(self, name, memid):
        self.name, self.memid = name, memid
        self.get_params = None   # parameter count of its property get, None without one
        self.put = False
        self.method = None       # parameter count as a method, None when it is none
        self.byref = ()          # positions of the by-reference parameters
        self.params = []         # parameter names


def _members_of(obj):
    """Members by lower-case name from the object's type information (None without it)."""
    count = c_uint()
    if c.vcall(obj, 3, HRESULT, [POINTER(c_uint)], byref(count)) != 0 or count.value == 0:
        return None
    info = c_void_p()
    if c.vcall(obj, 4, HRESULT, [c_uint, c_uint, POINTER(c_void_p)], 0, 0, byref(info)) != 0 or not info.value:
        return None
    try:
        return _members_of_typeinfo(info.value)
    finally:
        c.release(info.value)


def _members_of_typeinfo(info):
    attr = POINTER(c.TYPEATTR)()
    if c.vcall(info, 3, HRESULT, [POINTER(POINTER(c.TYPEATTR))], byref(attr)) != 0:
        return None
    functions = attr[0].cFuncs
    c.vcall(info, 19, None, [POINTER(c.TYPEATTR)], attr)
    members = {}
    for i in range(functions):
        fd = POINTER(c.FUNCDESC)()
        if c.vcall(info, 5, HRESULT, [c_uint, POINTER(POINTER(c.FUNCDESC))], i, byref(fd)) != 0:
            continue
        f = fd[0]
        names = (c_void_p * (f.cParams + 1))()
        got = c_uint()
        c.vcall(info, 7, HRESULT, [c_int32, POINTER(c_void_p), c_uint, POINTER(c_uint)], f.memid, names,
                f.cParams + 1, byref(got))
        texts = [c.take_text(names[k]) for k in range(got.value)]
        if texts:
            m = members.setdefault(texts[0].lower(), _Member(texts[0], f.memid))
            params = [f.lprgelemdescParam[k] for k in range(f.cParams)]
            if f.invkind == c.INVOKE_PROPERTYGET:
                m.get_params = f.cParams
            elif f.invkind in (c.INVOKE_PROPERTYPUT, c.INVOKE_PROPERTYPUTREF):
                m.put = True
            else:
                m.method = f.cParams
                m.byref = tuple(k for k, p in enumerate(params) if p.tdesc.vt == c.VT_PTR)
            if f.invkind != c.INVOKE_PROPERTYPUT and len(texts) > 1:
                m.params = texts[1:]
        c.vcall(info, 20, None, [POINTER(c.FUNCDESC)], fd)
    return members


# The kit's objects publish no type information; their methods are these.
_KIT_METHODS = {"cls", "refresh", "line", "pset", "print", "textwidth", "textheight", "additem", "removeitem",
                "clear"}


class Dispatch:
    """An object called by member name.  Dispatch("TAVOLIN2.GIF") makes a new
    object of that programmatic name."""

    def __init__(self, progid):
        clsid = c.GUID()
        hr = c.lib.T2CLSIDFromProgID(progid.encode("utf-8"), byref(clsid))
        if hr < 0:
            _fail(hr, f"no class named {progid}")
        obj = c_void_p()
        hr = c.lib.T2CoCreateInstance(byref(clsid), byref(c.IID_IDispatch), byref(obj))
        if hr < 0:
            _fail(hr, f"cannot create {progid}")
        self._init(obj.value)

    def _init(self, obj, members=None):
        object.__setattr__(self, "_obj", obj)
        object.__setattr__(self, "_members", members if members is not None else _members_of(obj))

    @classmethod
    def _wrap(cls, obj, add_ref=False, members=None):
        d = cls.__new__(cls)
        if add_ref:
            c.add_ref(obj)
        d._init(obj, members)
        return d

    def __del__(self):
        obj = self.__dict__.get("_obj")
        if obj:
            c.release(obj)
            object.__setattr__(self, "_obj", None)

    def __eq__(self, other):
        return isinstance(other, Dispatch) and other._obj == self._obj

    def __hash__(self):
        return hash(self._obj)

    def __repr__(self):
        return f"<tavolin2.Dispatch at 0x{self._obj or 0:x}>"

    # ---- members as attributes ----
    def _member(self, name):
        m = self._members.get(name.lower()) if self._members is not None else None
        return m

    def __getattr__(self, name):
        if name.startswith("__"):
            raise AttributeError(name)
        m = self._member(name)
        if m is not None:
            if m.get_params == 0:
                return self._invoke(name, c.DISPATCH_PROPERTYGET, (), {}, m)
            if m.get_params is not None:
                return lambda *a, **k: self._invoke(name, c.DISPATCH_PROPERTYGET, a, k, m)
            if m.method is not None:
                return lambda *a, **k: self._invoke(name, c.DISPATCH_METHOD, a, k, m)
            raise AttributeError(f"{name} can only be set")
        if self._members is not None:
            raise AttributeError(f"the object has no member named {name}")
        # no type information: the kit's methods by name, anything else a property
        if name.lower() in _KIT_METHODS:
            return lambda *a, **k: self._invoke(name, c.DISPATCH_METHOD | c.DISPATCH_PROPERTYGET, a, k, None)
        return _Property(self, name)

    def __setattr__(self, name, value):
        if name.startswith("_"):
            object.__setattr__(self, name, value)
            return
        self._invoke(name, c.DISPATCH_PROPERTYPUT, (value,), {}, self._member(name))

    def __call__(self, *args, **kwargs):
        return self._invoke_id(0, "(default)", c.DISPATCH_METHOD | c.DISPATCH_PROPERTYGET, args, kwargs, None)

    # ---- the call ----
    def _ids(self, name, kwargs):
        names = [name] + list(kwargs)
        raw = (c_void_p * len(names))(*[c.bstr(n) for n in names])
        ids = (c_int32 * len(names))()
        hr = c.vcall(self._obj, 5, HRESULT, [POINTER(c.GUID), POINTER(c_void_p), c_uint, c_uint, POINTER(c_int32)],
                     byref(c.IID_NULL), raw, len(names), 0, ids)
        for k in range(len(names)):
            c.lib.SysFreeString(raw[k])
        if hr < 0:
            if ids[0] == -1:
                raise ComError(c.DISP_E_UNKNOWNNAME, f"the object has no member named {name}", number=438)
            bad = [n for n, i in zip(names[1:], ids[1:]) if i == -1]
            raise ComError(c.DISP_E_UNKNOWNNAME, f"{name} has no argument named {', '.join(bad)}", number=448)
        return list(ids)

    def _invoke(self, name, flags, args, kwargs, member):
        ids = self._ids(name, kwargs)
        return self._invoke_id(ids[0], name, flags, args, kwargs, member, ids[1:])

    def _invoke_id(self, memid, name, flags, args, kwargs, member, named_ids=()):
        values = list(kwargs.values())
        count = len(args) + len(values)
        rg = (VARIANT * max(count, 1))()
        refs = (VARIANT * max(count, 1))()
        byref_positions = member.byref if member is not None and flags & c.DISPATCH_METHOD else ()
        # rgvarg: the named arguments first, then the positional ones in reverse order
        order = values + list(reversed(args))
        positions = [None] * len(values) + list(reversed(range(len(args))))
        if member is not None and named_ids:
            # a named by-reference parameter is one of the member's parameters too
            lowered = [p.lower() for p in member.params]
            positions[:len(values)] = [lowered.index(k.lower()) if k.lower() in lowered else None for k in kwargs]
        written = []
        try:
            for k, value in enumerate(order):
                c.lib.VariantInit(byref(rg[k]))
                if positions[k] is not None and positions[k] in byref_positions and value is not Missing:
                    c.lib.VariantInit(byref(refs[k]))
                    _to_variant(value, refs[k])
                    rg[k].vt = c.VT_BYREF | c.VT_VARIANT
                    rg[k].byref = cast(pointer(refs[k]), c_void_p).value
                    written.append((positions[k], k))
                else:
                    _to_variant(value, rg[k])
            ids = list(named_ids)
            if flags == c.DISPATCH_PROPERTYPUT:
                ids.append(c.DISPID_PROPERTYPUT)
                if isinstance(args[-1] if args else None, Dispatch):
                    flags = 8 if member is None or not member.put else flags  # by reference for objects
            named = (c_int32 * max(len(ids), 1))(*ids)
            dp = c.DISPPARAMS(rg, named, count, len(ids))
            result = VARIANT()
            c.lib.VariantInit(byref(result))
            excep = c.EXCEPINFO()
            bad = c_uint(0)
            hr = c.vcall(self._obj, 6, HRESULT,
                         [c_int32, POINTER(c.GUID), c_uint, c.c_uint16, POINTER(c.DISPPARAMS), POINTER(VARIANT),
                          POINTER(c.EXCEPINFO), POINTER(c_uint)],
                         memid, byref(c.IID_NULL), 0, flags, byref(dp), byref(result), byref(excep), byref(bad))
            source, description = c.take_text(excep.bstrSource), c.take_text(excep.bstrDescription)
            c.lib.SysFreeString(excep.bstrHelpFile)
            if hr == c.DISP_E_EXCEPTION:
                code = excep.scode or (0x800A0000 | excep.wCode) - 2**32
                raise ComError(code, f"{name}: {description}", source)
            if hr < 0:
                _, text = c.status_text(hr)
                if hr in (c.DISP_E_TYPEMISMATCH, c.DISP_E_PARAMNOTFOUND) and count:
                    position = positions[bad.value] if bad.value < count else None
                    if position is None and bad.value < len(values):
                        label = list(kwargs)[bad.value]
                    elif position is not None and member is not None and position < len(member.params):
                        label = f"{member.params[position]} (argument {position + 1})"
                    else:
                        label = f"argument {position + 1 if position is not None else bad.value + 1}"
                    text = f"{text}: {label}"
                raise ComError(hr, f"{name}: {text}")
            try:
                value = _from_variant(result)
            finally:
                c.lib.VariantClear(byref(result))
            # the by-reference values the caller passed, in parameter order, after the result
            if written:
                return (value,) + tuple(_from_variant(refs[k]) for _, k in sorted(written))
            return value
        finally:
            for k in range(count):
                c.lib.VariantClear(byref(rg[k]) if not (rg[k].vt & c.VT_BYREF) else byref(refs[k]))


class _Property:
    """A member of an object without type information: its value when used as
    one (str(), int(), ==), callable as a method or an indexed property."""

    def __init__(self, owner, name):
        self._owner, self._name = owner, name

    def __call__(self, *args, **kwargs):
        return self._owner._invoke(self._name, c.DISPATCH_METHOD | c.DISPATCH_PROPERTYGET, args, kwargs, None)

    @property
    def value(self):
        return self._owner._invoke(self._name, c.DISPATCH_PROPERTYGET, (), {}, None)

    def __eq__(self, other):
        return self.value == other

    def __int__(self):
        return int(self.value)

    def __float__(self):
        return float(self.value)

    def __index__(self):
        return int(self.value)

    def __bool__(self):
        return bool(self.value)

    def __str__(self):
        return str(self.value)

    def __repr__(self):
        return repr(self.value)


class _KitObject(Dispatch):
    """A kit object: members without type information, properties read directly."""

    def __getattr__(self, name):
        if name.startswith("__"):
            raise AttributeError(name)
        if name.lower() in _KIT_METHODS or name.lower() in ("list",):
            return lambda *a, **k: self._invoke(name, c.DISPATCH_METHOD | c.DISPATCH_PROPERTYGET, a, k, None)
        return self._invoke(name, c.DISPATCH_PROPERTYGET, (), {}, None)


def _kit_result(hr, obj, what):
    if hr < 0:
        _fail(hr)
    return _KitObject._wrap(obj.value, members={}) if obj.value else None


def LoadPicture(path):
    """A picture of an image file (PNG, JPEG, GIF, BMP, WebP, TIFF)."""
    obj = c_void_p()
    return _kit_result(c.kit.T2LoadPicture(str(path).encode("utf-8"), byref(obj)), obj, str(path))


def SavePicture(picture, path):
    """Saves a picture or a picture box as PNG, BMP or GIF, by the extension."""
    hr = c.kit.T2SavePicture(picture._obj, str(path).encode("utf-8"))
    if hr < 0:
        _fail(hr)


def PictureBox(width, height):
    """A white picture box of width x height pixels to draw on."""
    obj = c_void_p()
    return _kit_result(c.kit.T2CreatePictureBox(int(width), int(height), byref(obj)), obj, "PictureBox")


def ListBox(entries=()):
    """A list box, with `entries` added."""
    obj = c_void_p()
    box = _kit_result(c.kit.T2CreateListBox(byref(obj)), obj, "ListBox")
    for e in entries:
        box.AddItem(e)
    return box


# ---- events ----
def _event_names(obj):
    """The event interface of an object's class and its member names by DISPID."""
    info = c_void_p()
    if c.vcall(obj, 4, HRESULT, [c_uint, c_uint, POINTER(c_void_p)], 0, 0, byref(info)) != 0 or not info.value:
        raise ComError(c.DISP_E_MEMBERNOTFOUND, "the object has no type information, so no events by name")
    name = c_void_p()
    c.vcall(info.value, 12, HRESULT, [c_int32, POINTER(c_void_p), POINTER(c_void_p), POINTER(c.c_uint32),
                                      POINTER(c_void_p)], -1, byref(name), None, None, None)
    interface = c.take_text(name.value)  # "_GIF": its events are "__GIF"
    lib_ = c_void_p()
    index = c_uint()
    c.vcall(info.value, 18, HRESULT, [POINTER(c_void_p), POINTER(c_uint)], byref(lib_), byref(index))
    c.release(info.value)
    try:
        events = c.guid("DIID__" + interface)
    except ValueError:
        c.release(lib_.value)
        raise ComError(c.DISP_E_MEMBERNOTFOUND, f"{interface.lstrip('_')} fires no events") from None
    einfo = c_void_p()
    hr = c.vcall(lib_.value, 6, HRESULT, [POINTER(c.GUID), POINTER(c_void_p)], byref(events), byref(einfo))
    c.release(lib_.value)
    if hr < 0:
        _fail(hr, "the event interface")
    try:
        members = _members_of_typeinfo(einfo.value) or {}
    finally:
        c.release(einfo.value)
    return events, {m.memid: m.name for m in members.values()}


def DispatchWithEvents(progid, handler_class):
    """A new object whose events call the handler's methods On<Event>(self, args...).
    The result is an instance of both Dispatch and the handler class.  An
    exception in a handler is printed to stderr (and kept in .event_errors);
    the object's member goes on."""
    cls = type(handler_class.__name__, (handler_class, _EventObject), {})
    obj = cls.__new__(cls)
    Dispatch.__init__(obj, progid)
    obj._connect()
    if hasattr(handler_class, "__init__") and handler_class.__init__ is not object.__init__:
        handler_class.__init__(obj)
    return obj


class _EventObject(Dispatch):
    def __setattr__(self, name, value):
        # the handler's own attributes beside the object's members
        if self._member(name) is None:
            object.__setattr__(self, name, value)
        else:
            Dispatch.__setattr__(self, name, value)

    def _connect(self):
        events, names = _event_names(self._obj)
        object.__setattr__(self, "event_errors", [])

        def invoke(context, memid, params, result):
            try:
                name = names.get(memid)
                method = getattr(type(self), "On" + name, None) if name else None
                if method is None:
                    return 0
                dp = params[0]
                args = [_from_variant(dp.rgvarg[k]) for k in reversed(range(dp.cArgs))]
                method(self, *args)
            except BaseException as e:  # reported, and the firing member goes on
                self.event_errors.append(e)
                print(f"tavolin2: exception in the handler of {names.get(memid, memid)}:", file=sys.stderr)
                traceback.print_exc()
            return 0

        callback = c.SINK_INVOKE(invoke)
        sink = c_void_p()
        hr = c.kit.T2CreateSink(byref(events), callback, None, None, byref(sink))
        if hr < 0:
            _fail(hr)
        cpc, point = c_void_p(), c_void_p()
        hr = c.vcall(self._obj, 0, HRESULT, [POINTER(c.GUID), POINTER(c_void_p)],
                     byref(c.IID_IConnectionPointContainer), byref(cpc))
        if hr >= 0:
            hr = c.vcall(cpc.value, 4, HRESULT, [POINTER(c.GUID), POINTER(c_void_p)], byref(events), byref(point))
            c.release(cpc.value)
        cookie = c.c_uint32()
        if hr >= 0:
            hr = c.vcall(point.value, 5, HRESULT, [c_void_p, POINTER(c.c_uint32)], sink.value, byref(cookie))
        if hr < 0:
            c.release(sink.value)
            _fail(hr, "cannot connect the events")
        object.__setattr__(self, "_events", (callback, sink.value, point.value, cookie.value))

    def __del__(self):
        ev = self.__dict__.get("_events")
        if ev:
            callback, sink, point, cookie = ev
            c.vcall(point, 6, HRESULT, [c.c_uint32], cookie)
            c.release(point)
            c.release(sink)
            object.__setattr__(self, "_events", None)
        Dispatch.__del__(self)
