// tavolin2 gif and tavolin2 palette.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/verbs.hpp"
#include "tavolin2/platform.h"
#include "tavolin2/kit.h"

namespace host {

namespace {

// A progress bar on stderr from the writer's Progress events (DISPID 1): drawn
// in place on a terminal; a log gets one line when the file is done.
struct ProgressBar {
    bool tty = isatty(2) != 0;
    long last = -1;
    static void draw(long p) {
        int filled = static_cast<int>(p * 30 / 100);
        std::fprintf(stderr, "\r[%-30s] %3ld%%", std::string(static_cast<size_t>(filled), '#').c_str(), p);
        std::fflush(stderr);
    }
    static HRESULT on_event(void* context, DISPID id, DISPPARAMS* dp, VARIANT*) {
        auto* bar = static_cast<ProgressBar*>(context);
        VARIANT l;
        VariantInit(&l);
        if (id != 1 || dp->cArgs < 1 || FAILED(VariantChangeType(&l, &dp->rgvarg[dp->cArgs - 1], 0, VT_I4)))
            return S_OK;
        bar->last = std::clamp<long>(l.lVal, 0, 100);
        if (bar->tty) draw(bar->last);
        return S_OK;
    }
    // The end of a save: 100 % once it succeeded, whatever the last event said.
    void finish(bool ok, const std::string& file) const {
        if (tty) {
            if (ok) draw(100);
            std::fprintf(stderr, "\n");
        } else if (ok) {
            std::fprintf(stderr, "%s: 100%%\n", file.c_str());
        }
    }
};

bool parse_color(const char* text, LONG& out) {
    // RRGGBB as people write colours; the library wants 0x00BBGGRR
    char* end = nullptr;
    unsigned long v = std::strtoul(text, &end, 16);
    if (std::strlen(text) != 6 || *end) return false;
    out = static_cast<LONG>(((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF));
    return true;
}

}  // namespace

int save_gif(IDispatch* picture, const std::string& out, bool best, bool trans, LONG color, bool progress) {
    _GIF* gif = nullptr;
    if (FAILED(T2CoCreateInstance(CLSID_GIF, IID__GIF, reinterpret_cast<void**>(&gif)))) return 1;
    VARIANT q;
    VariantInit(&q);
    q.vt = VT_BOOL;
    q.boolVal = best ? VARIANT_TRUE : VARIANT_FALSE;
    gif->put_BestQuality(q);
    IConnectionPointContainer* cpc = nullptr;
    IConnectionPoint* cp = nullptr;
    DWORD cookie = 0;
    ProgressBar bar_state;
    IDispatch* bar = nullptr;
    if (progress) T2CreateSink(DIID___GIF, &ProgressBar::on_event, nullptr, &bar_state, &bar);
    if (bar && SUCCEEDED(gif->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc))) &&
        SUCCEEDED(cpc->FindConnectionPoint(DIID___GIF, &cp)))
        cp->Advise(bar, &cookie);
    BSTR name = SysAllocStringUTF8(out.c_str());
    LONG hdc = 0;
    VARIANT_BOOL use = trans ? VARIANT_TRUE : VARIANT_FALSE, ok = VARIANT_FALSE;
    HRESULT hr = gif->SaveGIF(picture, name, &hdc, &use, color, &ok);
    SysFreeString(name);
    if (bar) bar_state.finish(SUCCEEDED(hr) && ok, out);
    if (cp) {
        cp->Unadvise(cookie);
        cp->Release();
    }
    if (cpc) cpc->Release();
    if (bar) bar->Release();
    gif->Release();
    if (FAILED(hr)) return report(hr);
    return ok ? 0 : 1;
}

// "error N: description" of a failed member, from this thread's error info.
std::string failure_text(HRESULT hr) {
    std::string description;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        BSTR d = nullptr;
        info->GetDescription(&d);
        description = utf8(d);
        SysFreeString(d);
        info->Release();
    }
    BSTR fallback = nullptr;
    LONG n = T2DescribeStatus(hr, &fallback);
    if (description.empty()) description = utf8(fallback);
    SysFreeString(fallback);
    while (!description.empty() && (description.back() == '\n' || description.back() == '\r')) description.pop_back();
    return "error " + std::to_string(n) + ": " + description;
}

// tavolin2 gif IN... --out-dir DIR [--best] [-j N]: every worker thread is an
// apartment of its own with its own GIF object, and takes the next file; one
// progress bar counts finished files; a failure is reported and the rest go on.
int gif_batch(const std::vector<std::string>& inputs, const std::string& dir, bool best, int jobs, bool progress) {
    std::atomic<size_t> next{0}, done{0};
    std::atomic<int> failed{0};
    std::mutex report_lock;
    const bool tty = progress && isatty(2);  // a log gets one line at the end instead
    auto bar = [&](size_t finished) {
        if (!tty) return;
        const size_t filled = finished * 30 / inputs.size();
        std::fprintf(stderr, "\r[%-30s] %zu/%zu", std::string(filled, '#').c_str(), finished, inputs.size());
        std::fflush(stderr);
    };
    auto worker = [&] {
        _GIF* gif = nullptr;  // this thread's own object: the apartment model allows no sharing
        if (FAILED(T2CoCreateInstance(CLSID_GIF, IID__GIF, reinterpret_cast<void**>(&gif)))) return;
        VARIANT q;
        VariantInit(&q);
        q.vt = VT_BOOL;
        q.boolVal = best ? VARIANT_TRUE : VARIANT_FALSE;
        gif->put_BestQuality(q);
        for (size_t i; (i = next++) < inputs.size();) {
            const std::string& in = inputs[i];
            std::string base = in.substr(in.find_last_of('/') + 1);
            base = base.substr(0, base.find_last_of('.')) + ".gif";
            std::string error;
            HRESULT hr = S_OK;
            VARIANT_BOOL ok = VARIANT_FALSE;
            if (IDispatch* pic = load_picture(in, error)) {
                BSTR name = SysAllocStringUTF8((dir + "/" + base).c_str());
                LONG hdc = 0;
                VARIANT_BOOL use = VARIANT_FALSE;
                hr = gif->SaveGIF(pic, name, &hdc, &use, 0, &ok);
                SysFreeString(name);
                pic->Release();
                if (FAILED(hr))
                    error = failure_text(hr);
                else if (!ok)
                    error = "not saved";
            }
            std::lock_guard<std::mutex> hold(report_lock);
            if (!error.empty()) {
                ++failed;
                std::fprintf(stderr, "%stavolin2: %s: %s\n", tty ? "\r" : "", in.c_str(), error.c_str());
            }
            bar(++done);
        }
        gif->Release();
    };
    bar(0);
    std::vector<std::thread> threads;
    for (int k = 0; k < jobs; ++k) threads.emplace_back(worker);
    for (auto& t : threads) t.join();
    if (tty)
        std::fprintf(stderr, "\n");
    else if (progress)
        std::fprintf(stderr, "%zu of %zu files converted\n", inputs.size() - failed.load(), inputs.size());
    if (failed) std::fprintf(stderr, "tavolin2: %d of %zu files failed\n", failed.load(), inputs.size());
    return failed ? 1 : 0;
}

int cmd_gif(int argc, char** argv) {
    std::vector<std::string> files;
    std::string out_dir;
    long jobs = static_cast<long>(std::max(1u, std::thread::hardware_concurrency()));
    bool batch = false, best = false, trans = false, quiet = false;
    LONG color = 0;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--out-dir" && has_value) {
            out_dir = argv[++i];
            batch = true;
        } else if (a == "-j" && has_value) {
            if (!option_number("gif", a, argv[++i], 1, 256, jobs)) return 2;
            batch = true;
        } else if (a == "--transparent" && has_value) {
            if (!parse_color(argv[++i], color)) {
                std::fprintf(stderr, "tavolin2 gif: --transparent takes a colour RRGGBB, not '%s'\n", argv[i]);
                return 2;
            }
            trans = true;
        } else if (a == "--best") {
            best = true;
        } else if (a == "--quiet" || a == "-q") {
            quiet = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return unknown_argument("gif", a);
        } else {
            files.push_back(a);
        }
    }
    if (batch) {
        if (files.empty() || out_dir.empty() || trans) {
            std::fprintf(stderr, "usage: tavolin2 gif IN... --out-dir DIR [--best] [-j N] [--quiet]\n");
            return 2;
        }
        // the output folder is made when missing, as a user asking for it expects; one
        // clear message when it cannot be, instead of every file failing on its own
        std::error_code made;
        std::filesystem::create_directories(out_dir, made);
        if (made || !std::filesystem::is_directory(out_dir)) {
            std::fprintf(stderr, "tavolin2 gif: cannot make the output folder %s: %s\n", out_dir.c_str(),
                         made ? made.message().c_str() : "a file of that name is in the way");
            return 1;
        }
        return gif_batch(files, out_dir, best, std::min<int>(static_cast<int>(jobs), static_cast<int>(files.size())),
                         !quiet);
    }
    if (files.size() != 2) {
        if (files.size() > 2) return unknown_argument("gif", files[2]);
        std::fprintf(stderr, "usage: tavolin2 gif IN OUT.gif [--best] [--transparent RRGGBB] [--quiet]\n");
        return 2;
    }
    const std::string in = files[0], out = files[1];
    if (!has_extension(out, "gif")) {
        std::fprintf(stderr, "tavolin2 gif: %s: the output of gif is a .gif file\n", out.c_str());
        return 2;
    }
    std::string error;
    IDispatch* pic = load_picture(in, error);
    if (!pic) {
        std::fprintf(stderr, "tavolin2: %s\n", error.c_str());
        return 1;
    }
    int rc = save_gif(pic, out, best, trans, color, !quiet);
    pic->Release();
    return rc;
}

int cmd_palette(int argc, char** argv) {
    _cPalette* pal = nullptr;
    if (FAILED(T2CoCreateInstance(CLSID_cPalette, IID__cPalette, reinterpret_cast<void**>(&pal)))) return 1;
    struct Drop {
        _cPalette* p;
        ~Drop() { p->Release(); }
    } drop{pal};
    if (argc >= 2 && std::strcmp(argv[0], "--show") == 0) {
        LONG position = 0;
        long offset = 0;
        if (argc == 4 && std::strcmp(argv[2], "--offset") == 0) {
            if (!option_number("palette", "--offset", argv[3], 0, INT32_MAX, offset)) return 2;
            position = static_cast<LONG>(offset);
        } else if (argc != 2)
            return std::fprintf(stderr, "usage: tavolin2 palette --show FILE [--offset N]\n"), 2;
        BSTR name = SysAllocStringUTF8(argv[1]);
        VARIANT_BOOL ok = VARIANT_FALSE;
        HRESULT hr = pal->Load(name, &position, &ok);
        SysFreeString(name);
        if (FAILED(hr)) return report(hr);
        if (!ok) return std::fprintf(stderr, "tavolin2: no palette record at that offset of %s\n", argv[1]), 1;
        LONG count = 0;
        pal->get_Count(&count);
        std::printf("%ld entries; the record ends at offset %ld\n", static_cast<long>(count),
                    static_cast<long>(position));
        for (LONG k = 1; k <= count; ++k) {
            VARIANT i;
            VariantInit(&i);
            i.vt = VT_I4;
            i.lVal = k;
            BYTE r, g, b;
            pal->get_Red(i, &r);
            pal->get_Green(i, &g);
            pal->get_Blue(i, &b);
            std::printf("%4ld  %3u %3u %3u  #%02X%02X%02X\n", static_cast<long>(k), r, g, b, r, g, b);
        }
        return 0;
    }
    long size = 236;
    if (argc == 4 && std::strcmp(argv[2], "--size") == 0) {
        if (!option_number("palette", "--size", argv[3], 1, 256, size)) return 2;
    } else if (argc != 2) {
        std::fprintf(stderr,
                     "usage: tavolin2 palette IN OUT.pal [--size N] | tavolin2 palette --show FILE [--offset N]\n");
        return 2;
    }
    std::string error;
    IDispatch* pic = load_picture(argv[0], error);
    if (!pic) return std::fprintf(stderr, "tavolin2: %s\n", error.c_str()), 1;
    _cDIBSection* d = nullptr;
    T2CoCreateInstance(CLSID_cDIBSection, IID__cDIBSection, reinterpret_cast<void**>(&d));
    IDispatch* p = pic;
    VARIANT ignored;
    HRESULT hr = d->CreateFromPicture(&p, &ignored);
    pic->Release();
    if (SUCCEEDED(hr)) hr = pal->CreateOptimal(&d, static_cast<LONG>(size), 6);
    d->Release();
    if (FAILED(hr)) return report(hr);
    BSTR name = SysAllocStringUTF8(argv[1]);
    VARIANT_BOOL ok = VARIANT_FALSE;
    hr = pal->Save(name, 0, &ok);
    const uint32_t why = T2GetLastError();  // the platform's number of a failed save
    SysFreeString(name);
    if (FAILED(hr)) return report(hr);
    if (!ok) {
        char text[256] = "";
        T2FormatMessage(why, text, sizeof text);
        std::fprintf(stderr, "tavolin2 palette: %s: not saved: %s (error %u)\n", argv[1],
                     *text ? text : "the file could not be written", why);
        return 1;
    }
    LONG count = 0;
    pal->get_Count(&count);
    std::printf("%ld colours written to %s\n", static_cast<long>(count), argv[1]);
    return ok ? 0 : 1;
}

int demo_gif(const std::string& dir, std::string& report_text) {
    IDispatch* pic = nullptr;
    if (FAILED(T2CreatePicture(make_test_picture(320, 240), TRUE, &pic))) return 1;
    int rc = save_gif(pic, dir + "/test-picture-websafe.gif", false, false, 0, false);
    if (rc == 0) rc = save_gif(pic, dir + "/test-picture-best.gif", true, false, 0, false);
    if (rc == 0) rc = save_gif(pic, dir + "/test-picture-transparent.gif", false, true, 0x000000, false);
    pic->Release();
    if (rc == 0) {
        report_text +=
            "\n== GIF ==\ntest-picture-websafe.gif\tfixed 256-colour table\n"
            "test-picture-best.gif\tBestQuality: octree palette of up to 236 colours\n"
            "test-picture-transparent.gif\tfixed table, black transparent (GIF89a)\n";
        std::printf("GIF: test-picture-websafe.gif, test-picture-best.gif, test-picture-transparent.gif\n");
    }
    return rc;
}

}  // namespace host
