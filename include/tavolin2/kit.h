/* tavolin2 picture kit (libtavolin2-kit): the caller objects the library's
 * classes call by member name — pictures, picture boxes, list boxes — and
 * picture files.  Link with -ltavolin2-kit -ltavolin2 (pkg-config
 * tavolin2-kit, CMake target tavolin2::kit).
 *
 * Every object comes back with one reference for the caller to Release, and,
 * like the library's own objects, belongs to the thread that made it.  A
 * failed call returns a negative HRESULT, 0x800A0000 + a runtime error number,
 * with a description in the thread's error info (GetErrorInfo) that names the
 * file and the reason where there is a file.
 *
 * Members (late-bound, by name, any case):
 *  picture:      Handle (default, a bitmap handle), hPal, Type (1 bitmap),
 *                Width, Height (HIMETRIC, 2540 to the inch at 96 pixels an
 *                inch), PixelWidth, PixelHeight; QueryInterface answers
 *                IID_IPictureDisp.
 *  picture box:  Width, Height (twips, 15 a pixel, border included),
 *                ScaleWidth, ScaleHeight, ScaleLeft, ScaleTop, ScaleMode (3
 *                pixels, 1 twips), BorderStyle, CurrentX, CurrentY, BackColor,
 *                ForeColor, FontName, FontSize, FontBold, FontItalic,
 *                FontTransparent, AutoRedraw, hDc, hWnd, Image, Picture, Cls,
 *                Refresh, Line(flags, x1, y1, x2, y2[, color]) with flags 1
 *                first point relative, 2 box, 4 filled, 8 second point
 *                relative, PSet(flags, x, y[, color]), Print(texts...),
 *                TextWidth(text), TextHeight(text).  White background,
 *                8.25-point Arial (a metric-compatible installed font).
 *  list box:     AddItem(text[, index]), RemoveItem(i), Clear, List(i) (get
 *                and put), ListCount, ListIndex (-1 for none), Text (the entry at ListIndex).
 *
 * Language: C11, or C++17 and later; it compiles alone with -pedantic at both.
 */
#ifndef TAVOLIN2_KIT_H
#define TAVOLIN2_KIT_H

#include "tavolin2.h"

/* Loads PNG, JPEG (CMYK converted), GIF (the first frame), BMP (16-bit, bit
 * masks, run-length coded and OS/2 included), WebP and TIFF, by content.  Errors: 53 no such file, 75 not
 * an ordinary file or not readable, 481 not a picture the kit reads, 7 out of
 * memory. */
T2_API HRESULT T2LoadPicture(const char* path_utf8, IDispatch** picture);
/* The formats T2LoadPicture reads, as one static text: "PNG, JPEG, ...". */
T2_API const char* T2PictureFormats(void);
/* Saves a picture (any object with a bitmap Handle) or a picture box (its
 * hDc surface) as PNG, BMP or GIF, chosen by the extension (any case); any
 * other extension fails with error 380 and nothing is written.  A file is
 * replaced only once the new one is complete. */
T2_API HRESULT T2SavePicture(IDispatch* picture_or_box, const char* path_utf8);
/* A picture box whose drawing area is width x height pixels (0..65535). */
T2_API HRESULT T2CreatePictureBox(LONG width, LONG height, IDispatch** box);
/* An empty list box. */
T2_API HRESULT T2CreateListBox(IDispatch** list);
/* A picture of a bitmap handle; with `owns` the picture deletes the bitmap
 * when it is released. */
T2_API HRESULT T2CreatePicture(LONG bitmap, T2BOOL owns, IDispatch** picture);

/* An event sink: an IDispatch that answers QueryInterface for `events` (the
 * class's event interface, e.g. DIID___GIF) and hands every Invoke to
 * `invoke` with the member's DISPID and the arguments as Invoke has them
 * (rgvarg in reverse order).  `release`, when given, is called with `context`
 * once the last reference goes. */
typedef HRESULT (*T2SinkInvoke)(void* context, DISPID member, DISPPARAMS* params, VARIANT* result);
typedef void (*T2SinkRelease)(void* context);
T2_API HRESULT T2CreateSink(REFIID events, T2SinkInvoke invoke, T2SinkRelease release, void* context, IDispatch** sink);

#endif
