// tavolin2 bmp, resample and noise, and the built-in test picture of the demo.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/verbs.hpp"
#include "tavolin2/kit.h"
#include "tavolin2/platform.h"

namespace host {

namespace {

bool ends_with(const std::string& s, const char* tail) {
    size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
    return true;
}

}  // namespace

bool option_number(const char* verb, const std::string& option, const char* text, long lo, long hi, long& out) {
    char* end = nullptr;
    errno = 0;
    long long v = text && *text ? std::strtoll(text, &end, 10) : 0;
    if (!text || !*text || *end || errno || v < lo || v > hi) {
        std::fprintf(stderr, "tavolin2 %s: %s takes a whole number from %ld to %ld, not '%s'\n", verb, option.c_str(),
                     lo, hi, text ? text : "");
        return false;
    }
    out = static_cast<long>(v);
    return true;
}

bool option_real(const char* verb, const std::string& option, const char* text, double lo, double hi, double& out) {
    char* end = nullptr;
    errno = 0;
    double v = text && *text ? std::strtod(text, &end) : 0;
    if (!text || !*text || *end || errno || !(v >= lo && v <= hi)) {
        std::fprintf(stderr, "tavolin2 %s: %s takes a number from %g to %g, not '%s'\n", verb, option.c_str(), lo, hi,
                     text ? text : "");
        return false;
    }
    out = v;
    return true;
}

int unknown_argument(const char* verb, const std::string& argument) {
    if (argument.size() > 1 && argument[0] == '-')
        std::fprintf(stderr, "tavolin2 %s: unknown option %s\n", verb, argument.c_str());
    else
        std::fprintf(stderr, "tavolin2 %s: one argument too many: %s\n", verb, argument.c_str());
    return 2;
}

bool has_extension(const std::string& name, const char* ext) {
    std::string tail = std::string(".") + ext;
    if (name.size() <= tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - tail.size() + i])) != tail[i]) return false;
    return true;
}

namespace {

bool parse_size(const char* text, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end && *end == '\0' && end != text && out >= INT32_MIN && out <= INT32_MAX;
}

_cDIBSection* new_section() {
    _cDIBSection* d = nullptr;
    if (FAILED(T2CoCreateInstance(CLSID_cDIBSection, IID__cDIBSection, reinterpret_cast<void**>(&d)))) return nullptr;
    return d;
}

// Saves a section: BMP through its own writer, anything else as PNG.
int save_section(_cDIBSection* d, const std::string& out) {
    if (ends_with(out, ".bmp")) {
        BSTR name = SysAllocStringUTF8(out.c_str());
        VARIANT_BOOL ok = VARIANT_FALSE;
        HRESULT hr = d->SavePicture(name, &ok);
        SysFreeString(name);
        if (FAILED(hr)) return report(hr);
        if (!ok) {
            std::fprintf(stderr, "tavolin2: %s was not written in full\n", out.c_str());
            return 1;
        }
        return 0;
    }
    LONG dc = 0;
    d->get_hDc(&dc);
    std::string error;
    if (!save_surface(dc, out, error)) {
        std::fprintf(stderr, "tavolin2: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

// Fills a section from a picture file.
int section_from_file(const std::string& in, _cDIBSection*& d) {
    std::string error;
    IDispatch* pic = load_picture(in, error);
    if (!pic) {
        std::fprintf(stderr, "tavolin2: %s\n", error.c_str());
        return 1;
    }
    d = new_section();
    IDispatch* p = pic;
    VARIANT ignored;
    HRESULT hr = d ? d->CreateFromPicture(&p, &ignored) : E_FAIL;
    pic->Release();
    if (FAILED(hr)) return report(hr);
    LONG h = 0;
    d->get_hDib(&h);
    if (!h) {
        std::fprintf(stderr, "tavolin2: %s gave no bitmap section\n", in.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int report(HRESULT hr) {
    std::fprintf(stderr, "%s\n", failure_text(hr).c_str());
    return 1;
}

bool save_surface(int32_t dc_or_bitmap, const std::string& out, std::string& error) {
    T2HGDI bitmap =
        T2GetObjectType(dc_or_bitmap) == T2_OBJ_BITMAP ? dc_or_bitmap : T2GetCurrentObject(dc_or_bitmap, T2_OBJ_BITMAP);
    IDispatch* pic = nullptr;
    HRESULT hr = T2CreatePicture(bitmap, FALSE, &pic);
    if (SUCCEEDED(hr)) {
        hr = T2SavePicture(pic, out.c_str());
        pic->Release();
    }
    if (FAILED(hr)) error = error_description(hr);
    return SUCCEEDED(hr);
}

int32_t make_test_picture(int w, int h) {
    T2BITMAPINFO bi{};
    bi.bmiHeader = {40, w, h, 1, 24, 0, 0, 0, 0, 0, 0};
    int32_t bits = 0;
    T2HGDI bm = T2CreateDIBSection(0, &bi, 0, &bits);
    T2SURFACE s{};
    if (!bm || !T2GetSurface(bm, &s)) return 0;
    // a sky-to-ground gradient, a sun, colour bars and a grey ramp: smooth areas, edges and saturated colours
    for (int y = 0; y < h; ++y) {
        uint8_t* row = s.top + y * s.step;
        for (int x = 0; x < w; ++x) {
            double fy = static_cast<double>(y) / h, fx = static_cast<double>(x) / w;
            int r = static_cast<int>(40 + 120 * fy), g = static_cast<int>(90 + 100 * fy * (1 - fx)),
                b = static_cast<int>(220 - 150 * fy);
            double dx = x - w * 0.72, dy = y - h * 0.28, rr = std::min(w, h) * 0.14;
            if (dx * dx + dy * dy < rr * rr) {
                r = 255;
                g = static_cast<int>(200 + 40 * (dy / rr));
                b = 40;
            }
            if (y > h * 0.75) {
                int bar = x * 8 / w;
                static const int bars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                               {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
                r = bars[bar][0];
                g = bars[bar][1];
                b = bars[bar][2];
                if (y > h * 0.9) r = g = b = static_cast<int>(255 * fx);
            }
            row[x * 3] = static_cast<uint8_t>(std::clamp(b, 0, 255));
            row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
            row[x * 3 + 2] = static_cast<uint8_t>(std::clamp(r, 0, 255));
        }
    }
    return bm;
}

int cmd_bmp(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavolin2 bmp IN OUT.bmp\n");
        return 2;
    }
    if (!has_extension(argv[1], "bmp")) {
        std::fprintf(stderr, "tavolin2 bmp: %s: the output of bmp is a .bmp file\n", argv[1]);
        return 2;
    }
    _cDIBSection* d = nullptr;
    int rc = section_from_file(argv[0], d);
    if (rc == 0) rc = save_section(d, argv[1]);
    if (d) d->Release();
    return rc;
}

int cmd_resample(int argc, char** argv) {
    long w = 0, h = 0;
    if (argc != 4 || !parse_size(argv[2], w) || !parse_size(argv[3], h)) {
        std::fprintf(stderr, "usage: tavolin2 resample IN OUT WIDTH HEIGHT\n");
        return 2;
    }
    _cDIBSection* d = nullptr;
    int rc = section_from_file(argv[0], d);
    if (rc == 0) {
        _cDIBSection* out = nullptr;
        HRESULT hr = d->Resample(static_cast<LONG>(h), static_cast<LONG>(w), &out);
        if (FAILED(hr)) {
            rc = report(hr);
        } else if (!out) {
            std::fprintf(stderr, "tavolin2: no section of %ldx%ld could be made\n", w, h);
            rc = 1;
        } else {
            rc = save_section(out, argv[1]);
            out->Release();
        }
    }
    if (d) d->Release();
    return rc;
}

int cmd_noise(int argc, char** argv) {
    long w = 0, h = 0;
    bool gray = argc == 4 && std::strcmp(argv[3], "--gray") == 0;
    if ((argc != 3 && !gray) || !parse_size(argv[0], w) || !parse_size(argv[1], h)) {
        std::fprintf(stderr, "usage: tavolin2 noise WIDTH HEIGHT OUT [--gray]\n");
        return 2;
    }
    _cDIBSection* d = new_section();
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = d ? d->Create(static_cast<LONG>(w), static_cast<LONG>(h), &ok) : E_FAIL;
    int rc;
    if (FAILED(hr))
        rc = report(hr);
    else if (!ok) {
        std::fprintf(stderr, "tavolin2: no section of %ldx%ld could be made\n", w, h);
        rc = 1;
    } else if (FAILED(hr = d->RandomiseBits(gray ? VARIANT_TRUE : VARIANT_FALSE)))
        rc = report(hr);
    else
        rc = save_section(d, argv[2]);
    if (d) d->Release();
    return rc;
}

int demo_imaging(const std::string& dir, std::string& report_text) {
    int32_t picture = make_test_picture(320, 240);
    std::string error;
    if (!picture || !save_surface(picture, dir + "/test-picture.png", error)) {
        std::fprintf(stderr, "tavolin2 demo: %s\n", error.c_str());
        return 1;
    }
    IDispatch* pic = nullptr;
    if (FAILED(T2CreatePicture(picture, TRUE, &pic))) return 1;
    _cDIBSection* d = new_section();
    IDispatch* p = pic;
    VARIANT ignored;
    HRESULT hr = d->CreateFromPicture(&p, &ignored);
    pic->Release();
    int rc = FAILED(hr) ? report(hr) : save_section(d, dir + "/test-picture.bmp");
    _cDIBSection* half = nullptr;
    if (rc == 0 && FAILED(hr = d->Resample(120, 160, &half))) rc = report(hr);
    if (rc == 0) rc = save_section(half, dir + "/test-picture-160x120.png");
    if (half) half->Release();
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (rc == 0 && (FAILED(hr = d->Create(256, 128, &ok)) || FAILED(hr = d->RandomiseBits(VARIANT_FALSE))))
        rc = report(hr);
    if (rc == 0) rc = save_section(d, dir + "/noise.png");
    if (rc == 0 && FAILED(hr = d->RandomiseBits(VARIANT_TRUE))) rc = report(hr);
    if (rc == 0) rc = save_section(d, dir + "/noise-gray.png");
    d->Release();
    if (rc == 0) {
        report_text +=
            "\n== Imaging ==\ntest-picture.png\t320x240 built-in test picture\n"
            "test-picture.bmp\tcDIBSection.SavePicture, 230454 bytes\n"
            "test-picture-160x120.png\tcDIBSection.Resample(120, 160)\n"
            "noise.png, noise-gray.png\tcDIBSection.RandomiseBits(False / True), 256x128\n";
        std::printf(
            "Imaging: test-picture.png, test-picture.bmp, test-picture-160x120.png, noise.png, noise-gray.png\n");
    }
    return rc;
}

}  // namespace host
