// tavolin2 code128, code39 and barcode-text: barcodes drawn on a PictureBox and saved.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tavolin2/kit.h"
#include "host/verbs.hpp"

namespace host {

namespace {

_clsBCAT175* new_barcode() {
    _clsBCAT175* b = nullptr;
    T2CoCreateInstance(CLSID_clsBCAT175, IID__clsBCAT175, reinterpret_cast<void**>(&b));
    return b;
}

bool parse_rgb(const char* text, LONG& out) {
    char* end = nullptr;
    unsigned long v = std::strtoul(text, &end, 16);
    if (std::strlen(text) != 6 || *end) return false;
    out = static_cast<LONG>(((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF));
    return true;
}

int boxes_shown = 0;
int counting_box(void*, const char* text, const char* title, int) {
    ++boxes_shown;
    if (*title)
        std::fprintf(stderr, "[%s] %s\n", title, text);
    else
        std::fprintf(stderr, "%s\n", text);
    return 0;
}

}  // namespace

// Saves what a picture box shows: PNG, BMP, or GIF (through GIF.SaveGIF), by the extension.
int save_picture_box(IDispatch* box, const std::string& out) {
    HRESULT hr = T2SavePicture(box, out.c_str());
    return FAILED(hr) ? report(hr) : 0;
}

int cmd_code128(int argc, char** argv) {
    std::string text, out, caption, font = "Courier New";
    SHORT align = 1, display = 1, style = 2, size = 10, bar = 30;
    LONG fore = 0, back = 0xFFFFFF;
    bool ok = true;
    for (int i = 0; i < argc && ok; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : (ok = false, ""); };
        if (a == "--caption")
            caption = next();
        else if (a == "--align") {
            std::string v = next();
            align = v == "left" ? 1 : v == "center" ? 2 : v == "right" ? 3 : v == "justify" ? 4 : (ok = false, 0);
        } else if (a == "--top")
            display = 2;
        else if (a == "--font")
            font = next();
        else if (a == "--size" || a == "--style" || a == "--bar-height") {
            long v = 0;
            if (i + 1 >= argc)
                ok = false;
            else if (!option_number("code128", a, argv[++i], a == "--style" ? 0 : 1, a == "--size" ? 512 : 4096, v))
                return 2;
            (a == "--size" ? size : a == "--style" ? style : bar) = static_cast<SHORT>(v);
        } else if (a == "--fore" || a == "--back") {
            if (i + 1 >= argc)
                ok = false;
            else if (!parse_rgb(argv[++i], a == "--fore" ? fore : back)) {
                std::fprintf(stderr, "tavolin2 code128: %s takes a colour RRGGBB, not '%s'\n", a.c_str(), argv[i]);
                return 2;
            }
        } else if (a.size() > 1 && a[0] == '-')
            return unknown_argument("code128", a);
        else if (text.empty())
            text = a;
        else if (out.empty())
            out = a;
        else
            return unknown_argument("code128", a);
    }
    if (!ok || text.empty() || out.empty()) {
        std::fprintf(
            stderr,
            "usage: tavolin2 code128 TEXT OUT.(png|bmp|gif) [--caption T] [--align left|center|right|justify]\n"
            "       [--top] [--font NAME] [--size N] [--style N] [--bar-height N] [--fore RRGGBB] [--back RRGGBB]\n");
        return 2;
    }
    // room for the symbol (11 modules a character and 35 more), the caption and a margin
    BSTR t = SysAllocStringUTF8(text.c_str());
    int width = static_cast<int>(SysStringLen(t)) * 11 + 35 + 20 + 2;
    width = std::max<int>(width, static_cast<int>(caption.size()) * size * 96 / 72 + 30);
    IDispatch* box = nullptr;
    HRESULT made = T2CreatePictureBox(width, bar + size * 96 / 72 + 30, &box);
    SysFreeString(t);
    if (FAILED(made)) return report(made);
    t = SysAllocStringUTF8(text.c_str());
    _clsBCAT175* bc = new_barcode();
    IDispatch* pic = box;
    BSTR cap = SysAllocStringUTF8(caption.c_str()), face = SysAllocStringUTF8(font.c_str());
    SHORT left = 10, top = 10;
    VARIANT r;
    T2SetMessageBoxHandler(&counting_box, nullptr);
    OLE_COLOR caption_color = static_cast<OLE_COLOR>(fore);
    HRESULT hr = bc->Barcode128Draw(&t, &pic, &cap, &back, &fore, &caption_color, &align, &display, &style, &size,
                                    &face, &bar, &left, &top, &r);
    SysFreeString(t);
    SysFreeString(cap);
    SysFreeString(face);
    bc->Release();
    int rc = FAILED(hr) ? report(hr) : boxes_shown ? 1 : save_picture_box(box, out);
    box->Release();
    return rc;
}

int cmd_code39(int argc, char** argv) {
    std::string text, out, caption;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--caption" && i + 1 < argc)
            caption = argv[++i];
        else if (a.size() > 1 && a[0] == '-')
            return unknown_argument("code39", a);
        else if (text.empty())
            text = a;
        else if (out.empty())
            out = a;
        else
            return unknown_argument("code39", a);
    }
    if (text.empty() || out.empty()) {
        std::fprintf(stderr, "usage: tavolin2 code39 TEXT OUT.(png|bmp|gif) [--caption T]\n");
        return 2;
    }
    IDispatch* box = nullptr;
    HRESULT made = T2CreatePictureBox(200, 60, &box);
    if (FAILED(made)) return report(made);
    _clsBCAT175* bc = new_barcode();
    IDispatch* pic = box;
    BSTR t = SysAllocStringUTF8(text.c_str()), cap = SysAllocStringUTF8(caption.c_str());
    VARIANT r;
    HRESULT hr = bc->Barcode39Draw(&t, &cap, &pic, &r);
    SysFreeString(t);
    SysFreeString(cap);
    bc->Release();
    int rc = FAILED(hr) ? report(hr) : save_picture_box(box, out);
    box->Release();
    return rc;
}

int cmd_barcode_text(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: tavolin2 barcode-text TEXT\n");
        return 2;
    }
    _clsBCAT175* bc = new_barcode();
    BSTR t = SysAllocStringUTF8(argv[0]);
    HRESULT hr = bc->put_InputString(t);
    SysFreeString(t);
    if (FAILED(hr)) {
        bc->Release();
        return report(hr);
    }
    SHORT n = 0;
    bc->get_Length(&n);
    BSTR first = nullptr, last = nullptr, guess = nullptr;
    bc->get_FirstCharacter(&first);
    bc->get_LastCharacter(&last);
    bc->GuessInputString(&guess);
    VARIANT c1, c2, oc;
    bc->get_Code1(&c1);
    bc->get_Code2(&c2);
    bc->get_OutputCode(&oc);
    std::printf(
        "Length\t%d\nFirstCharacter\t%s\nLastCharacter\t%s\nCode1\t%s\nCode2\t%s\nOutputCode\t%s\nGuessInputString\t%"
        "s\n",
        n, show_text(first).c_str(), show_text(last).c_str(), show(c1).c_str(), show(c2).c_str(), show(oc).c_str(),
        show_text(guess).c_str());
    SysFreeString(first);
    SysFreeString(last);
    SysFreeString(guess);
    VariantClear(&c1);
    VariantClear(&c2);
    VariantClear(&oc);
    bc->Release();
    return 0;
}

int demo_barcodes(const std::string& dir, std::string& report_text) {
    char a0[] = "TAVOLIN2-128", a1[64], a2[] = "--caption", a3[] = "Code 128 demo";
    std::snprintf(a1, sizeof a1, "%s", (dir + "/code128.png").c_str());
    char* args128[] = {a0, a1, a2, a3};
    int rc = cmd_code128(4, args128);
    char b0[] = "TAVOLIN2", b1[64], b2[] = "--caption", b3[] = "Code 39 demo";
    std::snprintf(b1, sizeof b1, "%s", (dir + "/code39.png").c_str());
    char* args39[] = {b0, b1, b2, b3};
    if (rc == 0) rc = cmd_code39(4, args39);
    if (rc == 0) {
        report_text +=
            "\n== Barcodes ==\ncode128.png\tCode 128 of TAVOLIN2-128, caption below\ncode39.png\tCode 39 of TAVOLIN2, "
            "caption below\n";
        std::printf("Barcodes: code128.png, code39.png\n");
    }
    return rc;
}

}  // namespace host
