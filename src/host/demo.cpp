// tavolin2 vendor and tavolin2 demo: the main job on built-in defaults.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/verbs.hpp"

namespace host {

std::string registry_file() { return T2RegistryPath(); }

bool vendor_text(long n, std::string& text, bool& empty) {
    _clsQELCompany* company = nullptr;
    if (FAILED(T2GetAppObject(CLSID_clsQELCompany, IID__clsQELCompany, reinterpret_cast<void**>(&company))))
        return false;
    LONG id = static_cast<LONG>(n);
    VARIANT v;
    HRESULT hr = company->GetQELCompanyInformation(&id, &v);
    company->Release();
    if (FAILED(hr)) return false;
    empty = v.vt == VT_EMPTY;
    text = show(v);
    VariantClear(&v);
    return true;
}

int cmd_vendor(int argc, char** argv) {
    if (argc > 1) {
        std::fprintf(stderr, "usage: tavolin2 vendor [N]\n");
        return 2;
    }
    long first = 900, last = 921;
    if (argc == 1) {
        char* end = nullptr;
        errno = 0;
        long n = std::strtol(argv[0], &end, 10);
        if (*end || errno || n < INT32_MIN || n > INT32_MAX) {
            std::fprintf(stderr, "tavolin2 vendor: N must be a whole number\n");
            return 2;
        }
        first = last = n;
    }
    for (long n = first; n <= last; ++n) {
        std::string text;
        bool empty = false;
        if (!vendor_text(n, text, empty)) {
            std::fprintf(stderr, "error: the vendor texts are not available\n");
            return 1;
        }
        if (argc == 1 && empty) {
            std::fprintf(stderr, "tavolin2 vendor: there is no vendor text %ld (900 to 921 are there)\n", n);
            return 1;
        }
        if (argc == 1)
            std::printf("%s\n", text.c_str());
        else
            std::printf("%ld\t%s\n", n, text.c_str());
    }
    return 0;
}

int cmd_demo(int argc, char** argv) {
    std::string dir = argc >= 1 ? argv[0] : "tavolin2-demo";
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "tavolin2 demo: cannot create %s: %s\n", dir.c_str(), std::strerror(errno));
        return 1;
    }
    std::ostringstream report;
    report << "tavolin2 demo report\n\n== Vendor ==\n";
    std::printf("Vendor information:\n");
    for (long n = 900; n <= 921; ++n) {
        std::string text;
        bool empty = false;
        if (!vendor_text(n, text, empty)) {
            std::fprintf(stderr, "error: the vendor texts are not available\n");
            return 1;
        }
        std::printf("  %ld  %s\n", n, text.c_str());
        report << n << '\t' << text << '\n';
    }
    report << "\n== Classes ==\n";
    static const char* classes[] = {"clsTavolin2", "clsQELPictureViewer", "clsQELCompany",
                                    "MP3Class",    "MovieModule",         "clsBCAT175",
                                    "GIF",         "cDIBSection",         "cPalette"};
    for (const char* c : classes) {
        std::string progid = std::string("TAVOLIN2.") + c;
        CallError err{};
        CLSID clsid{};
        IDispatch* obj = create_object(progid, err, &clsid);
        report << progid << '\t' << (obj ? "created" : "not created") << '\t' << T2GetMemberCount(clsid)
               << " members\n";
        if (obj) obj->Release();
    }
    // the vendor texts came from the implicit clsQELCompany instance, which lives as long as this thread
    report << "\nDllCanUnloadNow with only the implicit clsQELCompany instance alive: "
           << (DllCanUnloadNow() == S_OK ? "S_OK" : "S_FALSE") << "\n";
    std::string more;
    if (demo_imaging(dir, more) != 0 || demo_gif(dir, more) != 0 || demo_barcodes(dir, more) != 0 ||
        demo_media(dir, more) != 0)
        return 1;
    report << more;
    const std::string path = dir + "/report.txt";
    const std::string text = report.str();
    std::string error;
    if (!write_whole_file(path, text.data(), text.size(), error)) {
        std::fprintf(stderr, "tavolin2 demo: %s\n", error.c_str());
        return 1;
    }
    std::printf("Report written to %s\n", path.c_str());
    return 0;
}

}  // namespace host
