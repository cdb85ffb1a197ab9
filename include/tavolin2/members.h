/* The member tables of the nine public interfaces, declared once.
 *
 * Each row: M(kind, name, member id, result type, parameter count, (parameters))
 *   kind       METHOD, GET or LET (a get/let pair shares its member id; the get comes first)
 *   parameter  (type, name, pass mode, default)
 *     type     Boolean Integer Long Byte String Variant Object Picture DIB Enum Rop Color
 *     mode     VAL (by value) or REF (by reference)
 *     default  REQ (required), NODEF (optional, the zero value of its type), DEF(n), DEFS(u"text")
 * Rows are in slot order; the first row of an interface is slot 7.  The same rows
 * generate the C++ interfaces, the C vtables and the late-bound dispatch tables.
 *
 * Language: C11, or C++17 and later; it compiles alone with -pedantic at both.
 */
#ifndef TAVOLIN2_MEMBERS_H
#define TAVOLIN2_MEMBERS_H

/* clang-format off */
#define T2_MEMBERS__clsTavolin2(M)
#define T2_MEMBERS__clsQELPictureViewer(M)

#define T2_MEMBERS__clsQELCompany(M) \
  M(METHOD, GetQELCompanyInformation, 0x60030000, Variant, 1, ((Enum, lResConst, REF, REQ)))

#define T2_MEMBERS__cDIBSection(M) \
  M(METHOD, CopyToClipboard,   0x60030006, Boolean, 1, ((Boolean, bAsDIB, VAL, DEF(-1)))) \
  M(METHOD, CreateDIB,         0x60030007, Boolean, 4, ((Long, lHDC, VAL, REQ), (Long, lWidth, VAL, REQ), (Long, lheight, VAL, REQ), (Long, hDib, REF, REQ))) \
  M(METHOD, CreateFromPicture, 0x60030008, Variant, 1, ((Picture, picThis, REF, REQ))) \
  M(METHOD, Create,            0x60030009, Boolean, 2, ((Long, lWidth, VAL, REQ), (Long, lheight, VAL, REQ))) \
  M(GET,    BytesPerScanLine,  0x68030005, Long, 0, ()) \
  M(GET,    Width,             0x68030004, Long, 0, ()) \
  M(GET,    Height,            0x68030003, Long, 0, ()) \
  M(METHOD, LoadPictureBlt,    0x6003000A, Void, 6, ((Long, lHDC, VAL, REQ), (Long, lSrcLeft, VAL, DEF(0)), (Long, lSrcTop, VAL, DEF(0)), (Long, lSrcWidth, VAL, DEF(-1)), (Long, lSrcHeight, VAL, DEF(-1)), (Rop, eRop, VAL, DEF(13369376)))) \
  M(METHOD, PaintPicture,      0x6003000B, Void, 8, ((Long, lHDC, VAL, REQ), (Long, lDestLeft, VAL, DEF(0)), (Long, lDestTop, VAL, DEF(0)), (Long, lDestWidth, VAL, DEF(-1)), (Long, lDestHeight, VAL, DEF(-1)), (Long, lSrcLeft, VAL, DEF(0)), (Long, lSrcTop, VAL, DEF(0)), (Rop, eRop, VAL, DEF(13369376)))) \
  M(GET,    hDc,               0x68030002, Long, 0, ()) \
  M(GET,    hDib,              0x68030001, Long, 0, ()) \
  M(GET,    DIBSectionBitsPtr, 0x68030000, Long, 0, ()) \
  M(METHOD, RandomiseBits,     0x6003000C, Void, 1, ((Boolean, bGray, VAL, DEF(0)))) \
  M(METHOD, ClearUp,           0x6003000D, Void, 0, ()) \
  M(METHOD, Resample,          0x6003000E, DIB, 2, ((Long, lNewHeight, VAL, REQ), (Long, lNewWidth, VAL, REQ))) \
  M(METHOD, SavePicture,       0x60030010, Boolean, 1, ((String, sFileName, VAL, REQ))) \
  M(METHOD, ApiError,          0x60030011, String, 1, ((Long, e, VAL, REQ)))

#define T2_MEMBERS__cPalette(M) \
  M(METHOD, Add,           0x60030005, Void, 3, ((Byte, Red, VAL, REQ), (Byte, Green, VAL, REQ), (Byte, Blue, VAL, REQ))) \
  M(GET,    ClosestIndex,  0x68030004, Long, 3, ((Long, Red, VAL, REQ), (Long, Green, VAL, REQ), (Long, Blue, VAL, REQ))) \
  M(GET,    Count,         0x68030003, Long, 0, ()) \
  M(GET,    Red,           0x68030002, Byte, 1, ((Variant, iIndex, VAL, REQ))) \
  M(GET,    Green,         0x68030001, Byte, 1, ((Variant, iIndex, VAL, REQ))) \
  M(GET,    Blue,          0x68030000, Byte, 1, ((Variant, iIndex, VAL, REQ))) \
  M(METHOD, CreateOptimal, 0x60030006, Void, 3, ((DIB, cdib, REF, REQ), (Long, PalSize, VAL, DEF(236)), (Long, nLevels, VAL, DEF(6)))) \
  M(METHOD, EraseNodes,    0x60030009, Void, 0, ()) \
  M(METHOD, Clear,         0x6003000C, Void, 0, ()) \
  M(METHOD, Load,          0x6003000D, Boolean, 2, ((String, sFileName, VAL, REQ), (Long, lPosition, REF, NODEF))) \
  M(METHOD, Save,          0x6003000E, Boolean, 2, ((String, sFileName, VAL, REQ), (Long, lPosition, VAL, NODEF))) \
  M(METHOD, CreateWebSafe, 0x60030010, Void, 0, ())

#define T2_MEMBERS__GIF(M) \
  M(METHOD, SaveGIF,     0x60030001, Boolean, 5, ((Picture, pic, VAL, REQ), (String, sFileName, VAL, REQ), (Long, hDc, REF, DEF(0)), (Boolean, UseTrans, REF, DEF(0)), (Long, TransColor, VAL, DEF(0)))) \
  M(GET,    BestQuality, 0x68030000, Variant, 0, ()) \
  M(LET,    BestQuality, 0x68030000, Void, 1, ((Variant, RHS, VAL, REQ)))

#define T2_MEMBERS__clsBCAT175(M) \
  M(GET,    InputString,      0x68030007, String, 0, ()) \
  M(LET,    InputString,      0x68030007, Void, 1, ((String, RHS, VAL, REQ))) \
  M(METHOD, ClearAll,         0x60030008, Void, 0, ()) \
  M(GET,    FirstCharacter,   0x68030006, String, 0, ()) \
  M(LET,    FirstCharacter,   0x68030006, Void, 1, ((String, RHS, VAL, REQ))) \
  M(GET,    LastCharacter,    0x68030005, String, 0, ()) \
  M(LET,    LastCharacter,    0x68030005, Void, 1, ((String, RHS, VAL, REQ))) \
  M(GET,    Length,           0x68030004, Integer, 0, ()) \
  M(LET,    Length,           0x68030004, Void, 1, ((Integer, RHS, VAL, REQ))) \
  M(GET,    Code1,            0x68030003, Variant, 0, ()) \
  M(LET,    Code1,            0x68030003, Void, 1, ((Variant, RHS, VAL, REQ))) \
  M(GET,    Code2,            0x68030002, Variant, 0, ()) \
  M(LET,    Code2,            0x68030002, Void, 1, ((Variant, RHS, VAL, REQ))) \
  M(GET,    Code3,            0x68030001, Variant, 0, ()) \
  M(LET,    Code3,            0x68030001, Void, 1, ((Variant, RHS, VAL, REQ))) \
  M(METHOD, GuessInputString, 0x60030009, String, 0, ()) \
  M(GET,    OutputCode,       0x68030000, Variant, 0, ()) \
  M(LET,    OutputCode,       0x68030000, Void, 1, ((Variant, RHS, VAL, REQ))) \
  M(METHOD, Barcode39Draw,    0x6003000A, Variant, 3, ((String, sBarCodeString, REF, REQ), (String, sBottomString, REF, REQ), (Object, oBarCodePic, REF, REQ))) \
  M(METHOD, Barcode128Draw,   0x6003000B, Variant, 14, ((String, sBarCodeString, REF, REQ), (Object, oBarCodePic, REF, REQ), (String, sBottomString, REF, REQ), \
      (Long, lBackColor, REF, DEF(16777215)), (Long, lForeColor, REF, DEF(0)), (Color, lColorConst, REF, NODEF), (Integer, iAlign, REF, DEF(1)), \
      (Integer, iTextDisplay, REF, DEF(1)), (Integer, iStyle, REF, DEF(2)), (Integer, iFontSize, REF, DEF(10)), (String, sFontName, REF, DEFS(u"Courier New")), \
      (Integer, iBarHeight, REF, DEF(30)), (Integer, iLeft, REF, DEF(10)), (Integer, iTop, REF, DEF(10))))

#define T2_MEMBERS__MP3Class(M) \
  M(GET,    MP3File,              0x40030000, String, 0, ()) \
  M(LET,    MP3File,              0x40030000, Void, 1, ((String, RHS, VAL, REQ))) \
  M(METHOD, GetLastBackSlash,     0x60030000, String, 1, ((String, text, REF, REQ))) \
  M(METHOD, ListNoChar,           0x60030001, Void, 2, ((Object, List1, REF, REQ), (Object, List2, REF, REQ))) \
  M(METHOD, MP3Playing,           0x60030005, Boolean, 0, ()) \
  M(METHOD, MP3ChangePositionTo,  0x60030006, Variant, 1, ((Variant, Second, REF, REQ))) \
  M(METHOD, MP3PositionInSec,     0x60030007, Variant, 0, ()) \
  M(METHOD, MP3PositionInMS,      0x60030008, Variant, 0, ()) \
  M(METHOD, MP3Duration,          0x60030009, Variant, 0, ()) \
  M(METHOD, MP3DurationInSec,     0x6003000A, Variant, 0, ()) \
  M(METHOD, MP3DurationInMs,      0x6003000B, Variant, 0, ()) \
  M(METHOD, MP3Position,          0x6003000D, Variant, 0, ()) \
  M(METHOD, MP3OpenPlayList,      0x6003000E, Variant, 2, ((String, TheFile, REF, REQ), (Variant, TheListBox, REF, REQ))) \
  M(METHOD, MP3SavePlayList,      0x6003000F, Variant, 2, ((String, TheFile, REF, REQ), (Variant, TheListBox, REF, REQ))) \
  M(METHOD, MP3Play,              0x60030010, Void, 0, ()) \
  M(METHOD, MP3Stop,              0x60030011, Void, 0, ()) \
  M(METHOD, MP3Resume,            0x60030012, Void, 0, ()) \
  M(METHOD, MP3Pause,             0x60030013, Void, 0, ())

#define T2_MEMBERS__MovieModule(M) \
  M(GET,    Error,                   0x40030001, Long, 0, ()) \
  M(LET,    Error,                   0x40030001, Void, 1, ((Long, RHS, VAL, REQ))) \
  M(GET,    Filename,                0x40030002, String, 0, ()) \
  M(LET,    Filename,                0x40030002, Void, 1, ((String, RHS, VAL, REQ))) \
  M(METHOD, stepFrames,              0x60030000, Variant, 1, ((Long, Value, REF, REQ))) \
  M(METHOD, restoreSizeDefault,      0x60030001, Variant, 0, ()) \
  M(METHOD, openMovie,               0x60030002, Variant, 0, ()) \
  M(METHOD, openMovieWindow,         0x60030003, Variant, 2, ((Long, hwnd, REF, REQ), (String, WindowStyle, REF, REQ))) \
  M(METHOD, minimizeMovie,           0x60030004, Variant, 0, ()) \
  M(METHOD, playMovie,               0x60030005, Variant, 0, ()) \
  M(METHOD, hideMovie,               0x60030006, Variant, 0, ()) \
  M(METHOD, showMovie,               0x60030007, Variant, 0, ()) \
  M(METHOD, restoreMovie,            0x60030008, Variant, 0, ()) \
  M(METHOD, stopMovie,               0x60030009, Variant, 0, ()) \
  M(METHOD, extractCurrentMovieSize, 0x6003000A, Variant, 4, ((Long, wLeft, REF, REQ), (Long, wTop, REF, REQ), (Long, wWidth, REF, REQ), (Long, wHeight, REF, REQ))) \
  M(METHOD, extractDefaultMovieSize, 0x6003000B, Variant, 2, ((Long, wWidth, REF, REQ), (Long, wHeight, REF, REQ))) \
  M(METHOD, getBitsPerPixel,         0x6003000C, Variant, 0, ()) \
  M(METHOD, getMovieInput,           0x6003000D, String, 0, ()) \
  M(METHOD, getMovieOutput,          0x6003000E, String, 0, ()) \
  M(METHOD, getAudioStatus,          0x6003000F, String, 0, ()) \
  M(METHOD, sizeLocateMovie,         0x60030010, Variant, 4, ((Long, Left, REF, REQ), (Long, Top, REF, REQ), (Long, Width, REF, REQ), (Long, Height, REF, REQ))) \
  M(METHOD, isMoviePlaying,          0x60030011, Boolean, 0, ()) \
  M(METHOD, checkError,              0x60030012, String, 0, ()) \
  M(METHOD, getDeviceName,           0x60030013, String, 0, ()) \
  M(METHOD, getDeviceVersion,        0x60030014, String, 0, ()) \
  M(METHOD, getNominalFrameRate,     0x60030015, Long, 0, ()) \
  M(METHOD, getFramePerSecRate,      0x60030016, Long, 0, ()) \
  M(METHOD, getCurrentSize,          0x60030017, String, 0, ()) \
  M(METHOD, getDefaultSize,          0x60030018, String, 0, ()) \
  M(METHOD, getLengthInFrames,       0x60030019, Long, 0, ()) \
  M(METHOD, getLengthInMS,           0x6003001A, Long, 0, ()) \
  M(METHOD, playFullScreen,          0x6003001B, Variant, 0, ()) \
  M(METHOD, getLengthInSec,          0x6003001C, Long, 0, ()) \
  M(METHOD, setVideoOff,             0x6003001D, Variant, 0, ()) \
  M(METHOD, setVideoOn,              0x6003001E, Variant, 0, ()) \
  M(METHOD, pauseMovie,              0x6003001F, Variant, 0, ()) \
  M(METHOD, resumeMovie,             0x60030020, Variant, 0, ()) \
  M(METHOD, getPositionInMS,         0x60030021, Long, 0, ()) \
  M(METHOD, getRate,                 0x60030022, Long, 0, ()) \
  M(METHOD, getPositionInFrames,     0x60030023, Long, 0, ()) \
  M(METHOD, getStatus,               0x60030024, String, 0, ()) \
  M(METHOD, closeMovie,              0x60030025, Variant, 0, ()) \
  M(METHOD, getFormatPosition,       0x60030026, String, 0, ()) \
  M(METHOD, getFormatLength,         0x60030027, String, 0, ()) \
  M(METHOD, getVolume,               0x60030029, Long, 0, ()) \
  M(METHOD, getVideoStatus,          0x6003002A, String, 0, ()) \
  M(METHOD, getTimeFormat,           0x6003002B, String, 0, ()) \
  M(METHOD, getLeftVolume,           0x6003002C, Long, 0, ()) \
  M(METHOD, getPositionInSec,        0x6003002D, Long, 0, ()) \
  M(METHOD, getRightVolume,          0x6003002E, Long, 0, ()) \
  M(METHOD, setAudioOff,             0x6003002F, Variant, 0, ()) \
  M(METHOD, setAudioOn,              0x60030030, Variant, 0, ()) \
  M(METHOD, setLeftOff,              0x60030031, Variant, 0, ()) \
  M(METHOD, setRightOff,             0x60030032, Variant, 0, ()) \
  M(METHOD, setLeftOn,               0x60030033, Variant, 0, ()) \
  M(METHOD, setRightOn,              0x60030034, Variant, 0, ()) \
  M(METHOD, setDoorOpen,             0x60030035, Variant, 0, ()) \
  M(METHOD, setDoorClosed,           0x60030036, Variant, 0, ()) \
  M(METHOD, setVolume,               0x60030037, Variant, 1, ((Long, Value, REF, REQ))) \
  M(METHOD, setPositionTo,           0x60030038, Variant, 1, ((Long, Second, REF, REQ))) \
  M(METHOD, restartMovie,            0x60030039, Variant, 0, ()) \
  M(METHOD, rewindByMS,              0x6003003A, Variant, 1, ((Long, numMS, REF, REQ))) \
  M(METHOD, rewindByFrames,          0x6003003B, Variant, 1, ((Long, numFrames, REF, REQ))) \
  M(METHOD, rewindBySeconds,         0x6003003C, Variant, 1, ((Long, numSec, REF, REQ))) \
  M(METHOD, forwardByFrames,         0x6003003D, Variant, 1, ((Long, numFrames, REF, REQ))) \
  M(METHOD, forwardByMS,             0x6003003E, Variant, 1, ((Long, numMS, REF, REQ))) \
  M(METHOD, forwardBySeconds,        0x6003003F, Variant, 1, ((Long, numSec, REF, REQ))) \
  M(METHOD, checkDeviceReady,        0x60030040, String, 0, ()) \
  M(METHOD, setSpeed,                0x60030041, Variant, 1, ((Long, Value, REF, REQ))) \
  M(METHOD, setLeftVolume,           0x60030042, Variant, 1, ((Long, Value, REF, REQ))) \
  M(METHOD, setRightVolume,          0x60030043, Variant, 1, ((Long, Value, REF, REQ))) \
  M(METHOD, timeOut,                 0x60030044, Void, 1, ((Variant, duration, REF, REQ)))

/* Event interfaces: pure dispatch, called by member id.  E(name, member id, parameter count, (parameters)) */
#define T2_EVENTS__GIF(E) \
  E(Progress, 0x1, 1, ((Integer, Percents, VAL, REQ)))
#define T2_EVENTS__cPalette(E) \
  E(InitProgress, 0x1, 1, ((Long, Max, VAL, REQ))) \
  E(Progress,     0x2, 1, ((Long, lPosition, VAL, REQ))) \
  E(Complete,     0x3, 1, ((Long, lTimeMs, VAL, REQ)))

/* The enumeration of the vendor texts' identifiers: X(name, value). */
#define T2_ENUM_QELCompanyInformationTypeConstants(X) \
    X(qelCompanyShrine, 900) \
    X(qelCompanyName1, 901) \
    X(qelCompanyName2, 902) \
    X(qelCompanyName3, 903) \
    X(qelCompanyName4, 904) \
    X(qelCompanyName5, 905) \
    X(qelCompanyContact1, 906) \
    X(qelCompanyContact2, 907) \
    X(qelCompanyContact3, 908) \
    X(qelCompanyContact4, 909) \
    X(qelCompanyContact5, 910) \
    X(qelCompanyCommunication1, 911) \
    X(qelCompanyCommunication2, 912) \
    X(qelCompanyCommunication3, 913) \
    X(qelCompanyCommunication4, 914) \
    X(qelCompanyCommunication5, 915) \
    X(qelCompanyWebInfo1, 916) \
    X(qelCompanyWebInfo2, 917) \
    X(qelCompanyWebInfo3, 918) \
    X(qelCompanyWebInfo4, 919) \
    X(qelCompanyWebInfo5, 920)

/* The classes: C(class, default interface, instancing, has events) */
#define T2_CLASSES(C) \
  C(clsTavolin2,         _clsTavolin2,         CREATABLE, 0) \
  C(clsQELPictureViewer, _clsQELPictureViewer, CREATABLE, 0) \
  C(clsQELCompany,       _clsQELCompany,       APPOBJECT, 0) \
  C(MP3Class,            _MP3Class,            CREATABLE, 0) \
  C(MovieModule,         _MovieModule,         CREATABLE, 0) \
  C(clsBCAT175,          _clsBCAT175,          CREATABLE, 0) \
  C(GIF,                 _GIF,                 APPOBJECT, 1) \
  C(cDIBSection,         _cDIBSection,         CREATABLE, 0) \
  C(cPalette,            _cPalette,            CREATABLE, 1)
/* clang-format on */

/* ---- macro machinery: apply a macro to each parameter tuple ---- */
#define T2_CAT_(a, b) a##b
#define T2_CAT(a, b) T2_CAT_(a, b)
#define T2_UNPAREN(...) __VA_ARGS__
#define T2_APPLY(m, args) m args
/* T2_EACH(n, F, (p1, ..., pn)): F p1 F p2 ... (F receives each tuple's fields) */
#define T2_EACH(n, F, plist) T2_APPLY(T2_CAT(T2_EACH_, n), (F, T2_UNPAREN plist))
#define T2_EACH_0(F, ...)
#define T2_EACH_1(F, a) F a
#define T2_EACH_2(F, a, ...) F a T2_EACH_1(F, __VA_ARGS__)
#define T2_EACH_3(F, a, ...) F a T2_EACH_2(F, __VA_ARGS__)
#define T2_EACH_4(F, a, ...) F a T2_EACH_3(F, __VA_ARGS__)
#define T2_EACH_5(F, a, ...) F a T2_EACH_4(F, __VA_ARGS__)
#define T2_EACH_6(F, a, ...) F a T2_EACH_5(F, __VA_ARGS__)
#define T2_EACH_7(F, a, ...) F a T2_EACH_6(F, __VA_ARGS__)
#define T2_EACH_8(F, a, ...) F a T2_EACH_7(F, __VA_ARGS__)
#define T2_EACH_9(F, a, ...) F a T2_EACH_8(F, __VA_ARGS__)
#define T2_EACH_10(F, a, ...) F a T2_EACH_9(F, __VA_ARGS__)
#define T2_EACH_11(F, a, ...) F a T2_EACH_10(F, __VA_ARGS__)
#define T2_EACH_12(F, a, ...) F a T2_EACH_11(F, __VA_ARGS__)
#define T2_EACH_13(F, a, ...) F a T2_EACH_12(F, __VA_ARGS__)
#define T2_EACH_14(F, a, ...) F a T2_EACH_13(F, __VA_ARGS__)
/* The same with commas between the items (for argument lists). */
#define T2_LIST(n, F, plist) T2_APPLY(T2_CAT(T2_LIST_, n), (F, T2_UNPAREN plist))
#define T2_LIST_0(F, ...)
#define T2_LIST_1(F, a) F a
#define T2_LIST_2(F, a, ...) F a, T2_LIST_1(F, __VA_ARGS__)
#define T2_LIST_3(F, a, ...) F a, T2_LIST_2(F, __VA_ARGS__)
#define T2_LIST_4(F, a, ...) F a, T2_LIST_3(F, __VA_ARGS__)
#define T2_LIST_5(F, a, ...) F a, T2_LIST_4(F, __VA_ARGS__)
#define T2_LIST_6(F, a, ...) F a, T2_LIST_5(F, __VA_ARGS__)
#define T2_LIST_7(F, a, ...) F a, T2_LIST_6(F, __VA_ARGS__)
#define T2_LIST_8(F, a, ...) F a, T2_LIST_7(F, __VA_ARGS__)
#define T2_LIST_9(F, a, ...) F a, T2_LIST_8(F, __VA_ARGS__)
#define T2_LIST_10(F, a, ...) F a, T2_LIST_9(F, __VA_ARGS__)
#define T2_LIST_11(F, a, ...) F a, T2_LIST_10(F, __VA_ARGS__)
#define T2_LIST_12(F, a, ...) F a, T2_LIST_11(F, __VA_ARGS__)
#define T2_LIST_13(F, a, ...) F a, T2_LIST_12(F, __VA_ARGS__)
#define T2_LIST_14(F, a, ...) F a, T2_LIST_13(F, __VA_ARGS__)
/* 0 -> Z, anything else -> N: picks whether a trailing result parameter needs a comma */
#define T2_ZN(n) T2_CAT(T2_ZN_, n)
#define T2_ZN_0 Z
#define T2_ZN_1 N
#define T2_ZN_2 N
#define T2_ZN_3 N
#define T2_ZN_4 N
#define T2_ZN_5 N
#define T2_ZN_6 N
#define T2_ZN_7 N
#define T2_ZN_8 N
#define T2_ZN_9 N
#define T2_ZN_10 N
#define T2_ZN_11 N
#define T2_ZN_12 N
#define T2_ZN_13 N
#define T2_ZN_14 N

/* ---- binary types of parameters and results ---- */
#define T2_ABI_VAL_Boolean VARIANT_BOOL
#define T2_ABI_VAL_Integer SHORT
#define T2_ABI_VAL_Long LONG
#define T2_ABI_VAL_Byte BYTE
#define T2_ABI_VAL_String BSTR
#define T2_ABI_VAL_Variant VARIANT
#define T2_ABI_VAL_Object struct IDispatch*
#define T2_ABI_VAL_Picture struct IDispatch*
#define T2_ABI_VAL_DIB struct _cDIBSection*
#define T2_ABI_VAL_Enum LONG
#define T2_ABI_VAL_Rop LONG
#define T2_ABI_VAL_Color OLE_COLOR
#define T2_ABI_REF_Boolean VARIANT_BOOL*
#define T2_ABI_REF_Integer SHORT*
#define T2_ABI_REF_Long LONG*
#define T2_ABI_REF_Byte BYTE*
#define T2_ABI_REF_String BSTR*
#define T2_ABI_REF_Variant VARIANT*
#define T2_ABI_REF_Object struct IDispatch**
#define T2_ABI_REF_Picture struct IDispatch**
#define T2_ABI_REF_DIB struct _cDIBSection**
#define T2_ABI_REF_Enum LONG*
#define T2_ABI_REF_Rop LONG*
#define T2_ABI_REF_Color OLE_COLOR*
#define T2_ABI_PARAM(type, name, mode, def) T2_CAT(T2_ABI_##mode##_, type) name
#define T2_ABI_PARAM_C(type, name, mode, def) , T2_CAT(T2_ABI_##mode##_, type) name
/* result out-parameter, with (N) or without (Z) a comma before it */
#define T2_RES_Z_Void
#define T2_RES_N_Void
#define T2_RES_Z_Boolean VARIANT_BOOL* pResult
#define T2_RES_N_Boolean , VARIANT_BOOL* pResult
#define T2_RES_Z_Integer SHORT* pResult
#define T2_RES_N_Integer , SHORT* pResult
#define T2_RES_Z_Long LONG* pResult
#define T2_RES_N_Long , LONG* pResult
#define T2_RES_Z_Byte BYTE* pResult
#define T2_RES_N_Byte , BYTE* pResult
#define T2_RES_Z_String BSTR* pResult
#define T2_RES_N_String , BSTR* pResult
#define T2_RES_Z_Variant VARIANT* pResult
#define T2_RES_N_Variant , VARIANT* pResult
#define T2_RES_Z_DIB struct _cDIBSection** pResult
#define T2_RES_N_DIB , struct _cDIBSection** pResult
#define T2_RES(res, n) T2_CAT(T2_CAT(T2_RES_, T2_ZN(n)), T2_CAT(_, res))
#define T2_RES_C(res) T2_CAT(T2_RES_N_, res)
/* entry name of a row: methods by name, properties as get_/put_ */
#define T2_ENTRY_METHOD(name) name
#define T2_ENTRY_GET(name) get_##name
#define T2_ENTRY_LET(name) put_##name
#define T2_ENTRY(kind, name) T2_ENTRY_##kind(name)

#endif
