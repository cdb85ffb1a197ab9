// tavolin2: the command-line host of the library.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <new>
#include <iostream>
#include <string>
#include <vector>

#include "host/client.hpp"
#include "tavolin2/kit.h"
#include "tavolin2/version.h"
#include "host/steps.hpp"
#include "host/verbs.hpp"

namespace host {

// Message boxes of the library: title and text on stderr, the default button answers.
int print_message_box(void*, const char* text, const char* title, int) {
    if (*title)
        std::fprintf(stderr, "[%s] %s\n", title, text);
    else
        std::fprintf(stderr, "%s\n", text);
    return 0;
}

int fail(const CallError& e) {
    std::fprintf(stderr, "error %ld: %s\n", e.number, e.description.c_str());
    return 1;
}

int usage(FILE* out) {
    std::fprintf(
        out,
        "usage: tavolin2 VERB ...\n"
        "  demo [DIR]                 run the main job on built-in defaults, writing into DIR (tavolin2-demo)\n"
        "  vendor [N]                 the vendor texts 900-921, or entry N\n"
        "  call PROGID STEP...        late-bound calls: Member, Member=VALUE, Member(ARG, ...)\n"
        "  members PROGID             the member table of a class\n"
        "  bmp IN OUT.bmp             load a picture (%s) and save it with cDIBSection.SavePicture\n"
        "  resample IN OUT W H        resample a picture to W x H (OUT .bmp or .png)\n"
        "  noise W H OUT [--gray]     a section of random pixels (OUT .bmp or .png)\n"
        "  gif IN OUT.gif [--best] [--transparent RRGGBB] [--quiet]   save a picture as GIF\n"
        "  gif IN... --out-dir DIR [--best] [-j N] [--quiet]   convert many pictures, N worker threads\n"
        "  palette IN OUT.pal [--size N]   write the optimal palette record of a picture\n"
        "  palette --show FILE [--offset N]   list a palette record\n"
        "  code128 TEXT OUT [--caption T] [--align left|center|right|justify] [--top] [--font NAME]\n"
        "          [--size N] [--style N] [--bar-height N] [--fore RRGGBB] [--back RRGGBB]\n"
        "  code39 TEXT OUT [--caption T]   barcodes on a picture box, saved as .png, .bmp or .gif\n"
        "  barcode-text TEXT          the text model: Length, end characters, codes, GuessInputString\n"
        "  mci [COMMAND...]           send media commands (or read them from stdin); answers and errors\n"
        "  playlist load FILE | save FILE ENTRY... | titles FILE   play-list files\n"
        "  play FILE [--seconds N]    play a sound file with MP3Class\n"
        "  movie FILE [--window] [--seconds N]   play a movie with MovieModule, with a status line\n"
        "  register | unregister      write or remove the registration in the registry file\n"
        "Values: 12, -4.5, &HFF, \"text\" (\"\" for a quote), c\"C\\tescapes\", True, False, Empty, Null,\n"
        "Nothing, @picture:FILE, @picturebox[:WxH], @listbox[:a|b|c]; leave an argument empty to omit it; name:=VALUE "
        "passes it by name.\n",
        T2PictureFormats());
    return out == stderr ? 2 : 0;
}

int cmd_call(int argc, char** argv) {
    std::string save_box;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--save-picturebox") == 0 && i + 1 < argc)
            save_box = argv[++i];
        else
            rest.push_back(argv[i]);
    }
    argc = static_cast<int>(rest.size());
    argv = rest.data();
    if (argc < 1) {
        std::fprintf(stderr, "usage: tavolin2 call PROGID STEP...\n");
        return 2;
    }
    std::vector<Step> steps;
    for (int i = 1; i < argc; ++i) {
        Step s;
        std::string err;
        if (!parse_step(argv[i], s, err)) {
            std::fprintf(stderr, "tavolin2 call: %s\n", err.c_str());
            return 2;
        }
        steps.push_back(std::move(s));
    }
    CallError error{};
    CLSID clsid{};
    IDispatch* obj = create_object(argv[0], error, &clsid);
    if (!obj) return fail(error);
    int rc = 0;
    for (Step& s : steps) {
        Value result;
        WORD flags = s.kind == Step::Let ? DISPATCH_PROPERTYPUT : (DISPATCH_METHOD | DISPATCH_PROPERTYGET);
        if (!invoke(obj, s.member, flags, s.args, result, error)) {
            rc = fail(error);
            break;
        }
        if (s.kind != Step::Let && member_has_result(clsid, s.member)) std::printf("%s\n", show(result.get()).c_str());
    }
    std::fflush(stdout);
    obj->Release();
    const auto& lists = made_list_boxes();
    for (size_t i = 0; i < lists.size(); ++i) {
        std::printf("list %zu:\n", i + 1);
        for (const std::string& e : list_entries(lists[i])) std::printf("  %s\n", show(Value(e).get()).c_str());
    }
    if (!save_box.empty()) {
        IDispatch* box = last_picture_box();
        if (!box) {
            std::fprintf(stderr, "tavolin2 call: --save-picturebox needs an @picturebox argument\n");
            return rc ? rc : 2;
        }
        int saved = save_picture_box(box, save_box);
        if (rc == 0) rc = saved;
    }
    return rc;
}

int cmd_members(int argc, char** argv) {
    if (argc != 1) {
        std::fprintf(stderr, "usage: tavolin2 members PROGID\n");
        return 2;
    }
    CLSID clsid{};
    if (FAILED(T2CLSIDFromProgID(argv[0], &clsid))) {
        std::fprintf(stderr, "error 429: no class named %s\n", argv[0]);
        return 1;
    }
    static const char* kinds[] = {"method", "get", "let"};
    UINT n = T2GetMemberCount(clsid);
    if (n == 0) std::printf("(no members of its own)\n");
    for (UINT i = 0; i < n; ++i) {
        T2MemberInfo m;
        T2GetMemberInfo(clsid, i, &m);
        BSTR name = SysAllocString(m.name);
        std::printf("%3u  0x%08X  %-6s %s(", m.slot, static_cast<unsigned>(m.id), kinds[m.kind], utf8(name).c_str());
        SysFreeString(name);
        for (UINT k = 0; k < m.param_count; ++k) {
            T2ParamInfo p;
            T2GetParamInfo(clsid, i, k, &p);
            BSTR pn = SysAllocString(p.name);
            std::printf("%s%s%s%s As %s", k ? ", " : "", p.optional ? "[" : "", p.by_ref ? "ByRef " : "ByVal ",
                        utf8(pn).c_str(), T2TypeName(p.type));
            SysFreeString(pn);
            if (p.default_value.vt != VT_EMPTY) {
                std::string d = show(p.default_value);
                std::printf(" = %s", p.default_value.vt == VT_BSTR ? ("\"" + d + "\"").c_str() : d.c_str());
            }
            if (p.optional) std::printf("]");
            VariantClear(&p.default_value);
        }
        std::printf(")%s%s\n", m.result ? " As " : "", m.result ? T2TypeName(m.result) : "");
    }
    return 0;
}

int cmd_register(bool add) {
    HRESULT hr = add ? DllRegisterServer() : DllUnregisterServer();
    if (FAILED(hr)) {
        std::fprintf(stderr, "error: %s failed (0x%08X): %s\n", add ? "registration" : "unregistration",
                     static_cast<unsigned>(hr), error_description(hr).c_str());
        return 1;
    }
    std::printf("%s %s\n", add ? "registered in" : "unregistered from", registry_file().c_str());
    return 0;
}

}  // namespace host

namespace {

int run_verb(int argc, char** argv) {
    if (argc < 2) return host::usage(stderr);
    std::string verb = argv[1];
    if (verb == "-h" || verb == "--help" || verb == "help") return host::usage(stdout);
    if (verb == "--version" || verb == "-V") {
        std::printf("tavolin2 %s\n", T2_VERSION_STRING);
        return 0;
    }
    if (verb == "call") return host::cmd_call(argc - 2, argv + 2);
    if (verb == "members") return host::cmd_members(argc - 2, argv + 2);
    if (verb == "vendor") return host::cmd_vendor(argc - 2, argv + 2);
    if (verb == "demo") return host::cmd_demo(argc - 2, argv + 2);
    if (verb == "bmp") return host::cmd_bmp(argc - 2, argv + 2);
    if (verb == "resample") return host::cmd_resample(argc - 2, argv + 2);
    if (verb == "noise") return host::cmd_noise(argc - 2, argv + 2);
    if (verb == "gif") return host::cmd_gif(argc - 2, argv + 2);
    if (verb == "palette") return host::cmd_palette(argc - 2, argv + 2);
    if (verb == "code128") return host::cmd_code128(argc - 2, argv + 2);
    if (verb == "code39") return host::cmd_code39(argc - 2, argv + 2);
    if (verb == "barcode-text") return host::cmd_barcode_text(argc - 2, argv + 2);
    if (verb == "mci") return host::cmd_mci(argc - 2, argv + 2);
    if (verb == "playlist") return host::cmd_playlist(argc - 2, argv + 2);
    if (verb == "play") return host::cmd_play(argc - 2, argv + 2);
    if (verb == "movie") return host::cmd_movie(argc - 2, argv + 2);
    if (verb == "register") return host::cmd_register(true);
    if (verb == "unregister") return host::cmd_register(false);
    std::fprintf(stderr, "tavolin2: unknown verb '%s'\n", verb.c_str());
    return host::usage(stderr);
}

}  // namespace

// No exception ends the host unexplained: each is a message and a non-zero exit.
int main(int argc, char** argv) {
    T2SetMessageBoxHandler(&host::print_message_box, nullptr);
    try {
        return run_verb(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "tavolin2: out of memory (error 7)\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavolin2: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "tavolin2: unexpected failure\n");
    }
    return 1;
}
