// gif_bench: one run, one 2048x2048 photo-like picture, each side timed seven
//   times (medians): our LZW encoder alone, giflib's EGifPutLine on the same
//   indices, our full SaveGIF with the fixed table and with BestQuality, and
//   Pillow (Debian's python3-pil, timing only its own in-process work) doing
//   the same jobs: the web palette without dithering (the same job as our
//   fixed table, which never dithers), quantizing to our own fixed table
//   without dithering, and its fast octree, each followed by a GIF save.  The
//   dithered web conversion is printed too, labelled, but is not compared.
//   Then the peak memory of 4096x4096 saves beyond the picture itself, in
//   child processes.  The core count and load average are printed beside the
//   figures: the machine may be shared, and only ratios of one run compare.
//   Every side is timed in processor time of its own thread (user and system),
//   which the other users of a shared machine do not inflate as much.
//   `gif_bench --large` instead saves a 16384x16384 picture with the fixed
//   table and an 8192x8192 one with BestQuality, once each, and prints their
//   time and peak memory.
#include <gif_lib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include "frame/com.hpp"
#include "imaging/lzw.hpp"
#include "bench/photo.hpp"
#include "platform/gdi/gdi.hpp"

using namespace t2;
using namespace t2::gdi;

namespace {

constexpr int kRuns = 7;

// The calling thread's processor time (user and system) in milliseconds: on a
// shared machine, wall-clock time would count the other users' turns too.
double thread_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

template <class F>
double median_ms(int runs, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const double a = thread_ms();
        f();
        t.push_back(thread_ms() - a);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

struct Picture final : IDispatch {
    explicit Picture(HGDI h) : h_(h) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** p) override {
        *p = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* r, EXCEPINFO*, UINT*) override {
        VariantInit(r);
        r->vt = VT_I4;
        r->lVal = h_;
        return S_OK;
    }
    HGDI h_;
};

double save_gif(HGDI bm, bool best, const std::string& path, int runs = kRuns) {
    IUnknown* u = create_GIF();
    _GIF* gif = nullptr;
    u->QueryInterface(IID__GIF, reinterpret_cast<void**>(&gif));
    u->Release();
    VARIANT q;
    VariantInit(&q);
    q.vt = VT_BOOL;
    q.boolVal = best ? VARIANT_TRUE : VARIANT_FALSE;
    gif->put_BestQuality(q);
    Picture pic(bm);
    BSTR name = SysAllocStringUTF8(path.c_str());
    LONG hdc = 0;
    VARIANT_BOOL trans = VARIANT_FALSE, ok = VARIANT_FALSE;
    HRESULT hr = S_OK;
    double ms = median_ms(runs, [&] { hr = gif->SaveGIF(&pic, name, &hdc, &trans, 0, &ok); });
    if (FAILED(hr) || !ok) {  // a figure of a save that failed would be a lie
        std::fprintf(stderr, "gif_bench: SaveGIF%s failed: 0x%08x\n", best ? " (BestQuality)" : "",
                     static_cast<unsigned>(hr));
        std::exit(1);
    }
    SysFreeString(name);
    gif->Release();
    return ms;
}

long file_size(const std::string& p) {
    std::ifstream f(p, std::ios::binary | std::ios::ate);
    return static_cast<long>(f.tellg());
}

long max_rss_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// One save of a side x side picture in a child process: its processor and
// wall-clock time, and its peak memory beyond the picture in bytes per pixel.
struct OneSave {
    double cpu_ms = -1, wall_ms = -1, bytes_per_pixel = -1;
};
OneSave one_save(int side, bool best) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        HGDI bm = photo_like(side);
        long before = max_rss_kb();
        timespec w0{}, w1{};
        clock_gettime(CLOCK_MONOTONIC, &w0);
        OneSave r;
        r.cpu_ms = save_gif(bm, best, "/tmp/t2-bench-peak.gif", 1);
        clock_gettime(CLOCK_MONOTONIC, &w1);
        r.wall_ms = (w1.tv_sec - w0.tv_sec) * 1e3 + (w1.tv_nsec - w0.tv_nsec) / 1e6;
        r.bytes_per_pixel = (max_rss_kb() - before) * 1024.0 / (double(side) * side);
        if (write(fds[1], &r, sizeof r) != sizeof r) _exit(1);
        _exit(0);
    }
    OneSave r;
    if (read(fds[0], &r, sizeof r) != sizeof r) r = {};
    waitpid(pid, nullptr, 0);
    close(fds[0]);
    close(fds[1]);
    return r;
}
double peak_bytes_per_pixel(int side, bool best) { return one_save(side, best).bytes_per_pixel; }

// `gif_bench --large`: a 16384x16384 picture with the fixed table and an 8192x8192
// one with BestQuality, each once.
int large() {
    const struct {
        int side;
        bool best;
    } runs[] = {{16384, false}, {8192, true}};
    for (const auto& r : runs) {
        const OneSave s = one_save(r.side, r.best);
        std::printf(
            "%dx%d %s: %.0f ms processor time, %.0f ms wall clock, peak %.2f bytes per pixel beyond the picture\n",
            r.side, r.side, r.best ? "BestQuality" : "fixed table", s.cpu_ms, s.wall_ms, s.bytes_per_pixel);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--large") return large();
    const int side = 2048;
    const double mpx = side * double(side) / 1e6;
    HGDI bm = photo_like(side);
    // `gif_bench --profile fixed|best|lzw [N]`: only N saves of one kind (or N runs of
    // the encoder alone), for a profiler
    const bool profile = argc >= 3 && std::string(argv[1]) == "--profile";
    const bool profile_lzw = profile && std::string(argv[2]) == "lzw";
    if (profile && !profile_lzw) {
        const bool best_only = std::string(argv[2]) == "best";
        const int n = argc >= 4 ? std::atoi(argv[3]) : 10;
        for (int i = 0; i < n; ++i) save_gif(bm, best_only, "/tmp/t2-bench-profile.gif", 1);
        return 0;
    }
    Surface src;
    surface_of(bm, src);

    // the indices of the fixed table, through the platform's colour matching
    IUnknown* pu = create_cPalette();
    _cPalette* pal = nullptr;
    pu->QueryInterface(IID__cPalette, reinterpret_cast<void**>(&pal));
    pu->Release();
    pal->CreateWebSafe();
    BITMAPINFO bi{};
    bi.bmiHeader = {40, side, side, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    for (LONG k = 0; k < 256; ++k) {
        VARIANT i;
        VariantInit(&i);
        i.vt = VT_I4;
        i.lVal = k + 1;
        pal->get_Red(i, &bi.bmiColors[k].rgbRed);
        pal->get_Green(i, &bi.bmiColors[k].rgbGreen);
        pal->get_Blue(i, &bi.bmiColors[k].rgbBlue);
    }
    pal->Release();
    int32_t bits = 0;
    HGDI b8 = CreateDIBSection(0, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDI sdc = CreateCompatibleDC(0), ddc = CreateCompatibleDC(0);
    HGDI so = SelectObject(sdc, bm), dso = SelectObject(ddc, b8);
    BitBlt(ddc, 0, 0, side, side, sdc, 0, 0, SRCCOPY);
    SelectObject(sdc, so);  // the picture is free again for the saves below, as a caller's would be
    Surface idx;
    surface_of(b8, idx);
    std::vector<const uint8_t*> rows(side);
    for (int y = 0; y < side; ++y) rows[y] = idx.top + y * idx.step;

    size_t ours_bytes = 0;
    double ours = median_ms(profile_lzw ? (argc >= 4 ? std::atoi(argv[3]) : 10) : kRuns, [&] {
        std::vector<uint8_t> out;
        out.reserve(8 << 20);
        auto lzw = std::make_unique<GifLzw>([&](const uint8_t* b, size_t n) { out.insert(out.end(), b, b + n); });
        lzw->start();
        for (int y = 0; y < side; ++y) lzw->encode_row(rows[y], side);
        lzw->finish();
        ours_bytes = out.size();
    });
    if (profile_lzw) return std::printf("LZW %.2f ms (median)\n", ours), 0;

    size_t giflib_bytes = 0;
    double giflib = median_ms(kRuns, [&] {
        std::vector<uint8_t> out;
        out.reserve(8 << 20);
        int err = 0;
        GifFileType* g = EGifOpen(
            &out,
            [](GifFileType* f, const GifByteType* b, int n) {
                auto* v = static_cast<std::vector<uint8_t>*>(f->UserData);
                v->insert(v->end(), b, b + n);
                return n;
            },
            &err);
        ColorMapObject* map = GifMakeMapObject(256, nullptr);
        for (int k = 0; k < 256; ++k)
            map->Colors[k] = {bi.bmiColors[k].rgbRed, bi.bmiColors[k].rgbGreen, bi.bmiColors[k].rgbBlue};
        EGifPutScreenDesc(g, side, side, 8, 0, map);
        EGifPutImageDesc(g, 0, 0, side, side, false, nullptr);
        for (int y = 0; y < side; ++y) EGifPutLine(g, const_cast<GifPixelType*>(rows[y]), side);
        EGifCloseFile(g, &err);
        GifFreeMapObject(map);
        giflib_bytes = out.size();
    });

    double fixed = save_gif(bm, false, "/tmp/t2-bench-fixed.gif");
    double best = save_gif(bm, true, "/tmp/t2-bench-best.gif");

    // Pillow on the same picture, timing only its own work
    {
        std::ofstream raw("/tmp/t2-bench.rgb", std::ios::binary);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const uint8_t* p = src.top + y * src.step + x * 3;
                const char rgb[3] = {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
                raw.write(rgb, 3);
            }
    }
    {
        std::ofstream pal_file("/tmp/t2-bench.pal", std::ios::binary);
        for (int k = 0; k < 256; ++k) {
            const char rgb[3] = {static_cast<char>(bi.bmiColors[k].rgbRed), static_cast<char>(bi.bmiColors[k].rgbGreen),
                                 static_cast<char>(bi.bmiColors[k].rgbBlue)};
            pal_file.write(rgb, 3);
        }
    }
    const std::string script_path = "/tmp/t2-bench-pillow.py";
    {
        std::ofstream py(script_path);
        py << "import io, sys, time\n"
              "from PIL import Image\n"
              "side = int(sys.argv[1]); runs = int(sys.argv[2])\n"
              "im = Image.frombytes('RGB', (side, side), open('/tmp/t2-bench.rgb', 'rb').read())\n"
              "ours = Image.new('P', (1, 1)); ours.putpalette(open('/tmp/t2-bench.pal', 'rb').read())\n"
              "def med(f):\n"
              "    t = []\n"
              "    for _ in range(runs):\n"
              "        a = time.thread_time(); n = f(); t.append(time.thread_time() - a)\n"
              "    t.sort(); return '%.3f %d' % (t[len(t) // 2] * 1000, n)\n"
              "def save(p):\n"
              "    b = io.BytesIO(); p.save(b, 'GIF'); return b.tell()\n"
              "print(med(lambda: save(im.convert('P', palette=Image.Palette.WEB, dither=Image.Dither.NONE))))\n"
              "print(med(lambda: save(im.quantize(palette=ours, dither=Image.Dither.NONE))))\n"
              "print(med(lambda: save(im.quantize(236, method=Image.Quantize.FASTOCTREE))))\n"
              "print(med(lambda: save(im.convert('P', palette=Image.Palette.WEB))))\n";
    }
    double pil_ms[4] = {-1, -1, -1, -1};
    long pil_bytes[4] = {0, 0, 0, 0};
    bool pillow = false;
    const std::string command =
        "/usr/bin/python3 " + script_path + " " + std::to_string(side) + " " + std::to_string(kRuns) + " 2>/dev/null";
    if (FILE* p = popen(command.c_str(), "r")) {
        pillow = true;
        for (int k = 0; k < 4; ++k)
            if (std::fscanf(p, "%lf %ld", &pil_ms[k], &pil_bytes[k]) != 2) pillow = false;
        pclose(p);
    }

    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("2048x2048 photo-like picture (%.2f Mpixel), medians of %d runs, one thread each, thread CPU time\n",
                mpx, kRuns);
    std::printf("machine: %ld cores, load average %.2f %.2f %.2f\n\n", sysconf(_SC_NPROCESSORS_ONLN), load[0], load[1],
                load[2]);
    std::printf("%-52s %9s %10s %12s\n", "", "ms", "Mpixel/s", "bytes");
    auto line = [&](const char* what, double ms, long bytes) {
        std::printf("%-52s %9.1f %10.1f %12ld\n", what, ms, mpx / ms * 1000, bytes);
    };
    line("our LZW encoder alone", ours, static_cast<long>(ours_bytes));
    line("giflib EGifPutLine, same indices", giflib, static_cast<long>(giflib_bytes));
    line("SaveGIF, fixed table", fixed, file_size("/tmp/t2-bench-fixed.gif"));
    line("SaveGIF, BestQuality", best, file_size("/tmp/t2-bench-best.gif"));
    if (pillow) {
        line("Pillow convert(P, WEB, dither NONE) + GIF save", pil_ms[0], pil_bytes[0]);
        line("Pillow quantize(our fixed table, dither NONE) + save", pil_ms[1], pil_bytes[1]);
        line("Pillow quantize(236, FASTOCTREE) + GIF save", pil_ms[2], pil_bytes[2]);
        line("(not compared) Pillow convert(P, WEB) dithered + save", pil_ms[3], pil_bytes[3]);
        std::printf("\nfixed SaveGIF %.2fx Pillow quantize to our fixed table\n", pil_ms[1] / fixed);
        std::printf(
            "ratios: LZW %.2fx giflib; fixed SaveGIF %.2fx Pillow WEB; BestQuality SaveGIF %.2fx Pillow FASTOCTREE\n",
            giflib / ours, pil_ms[0] / fixed, pil_ms[2] / best);
    } else {
        std::printf("(Pillow not available: /usr/bin/python3 with python3-pil)\n");
        std::printf("\nratios: LZW %.2fx giflib\n", giflib / ours);
    }
    std::printf("peak memory of a 4096x4096 save beyond the picture: fixed %.2f, BestQuality %.2f bytes per pixel\n",
                peak_bytes_per_pixel(4096, false), peak_bytes_per_pixel(4096, true));
    SelectObject(ddc, dso);
    DeleteDC(sdc);
    DeleteDC(ddc);
    DeleteObject(b8);
    DeleteObject(bm);
    return 0;
}
