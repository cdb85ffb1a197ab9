// tavolin2 mci (a console for the media channel), playlist and play.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "host/list_box.hpp"
#include "host/verbs.hpp"
#include "platform/files.hpp"
#include "platform/mci/mci.hpp"

namespace host {

namespace {

// One command: its answer, or its error number and text.
int run_command(const std::string& cmd) {
    char reply[512] = {};
    uint32_t r = t2::mci::mciSendStringA(cmd.c_str(), reply, sizeof reply, 0);
    if (r == 0) {
        std::printf("%s\n", reply);
        return 0;
    }
    char text[256];
    t2::mci::mciGetErrorStringA(r, text, sizeof text);
    std::printf("error %u: %s\n", r, text);
    return 1;
}

_MP3Class* new_player() {
    _MP3Class* p = nullptr;
    T2CoCreateInstance(CLSID_MP3Class, IID__MP3Class, reinterpret_cast<void**>(&p));
    return p;
}

}  // namespace

int cmd_mci(int argc, char** argv) {
    std::fprintf(stderr, "media channel: %s backend%s\n", t2::mci::backend_name(),
                 t2::mci::real_backend_available() ? "" : " (this build has no libmpv: nothing is heard or seen)");
    int failures = 0;
    if (argc > 0) {
        for (int i = 0; i < argc; ++i) failures += run_command(argv[i]);
        return failures ? 1 : 0;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty()) continue;
        failures += run_command(line);
    }
    return failures ? 1 : 0;
}

int cmd_playlist(int argc, char** argv) {
    if (argc < 2 || (std::strcmp(argv[0], "load") != 0 && std::strcmp(argv[0], "save") != 0 && std::strcmp(argv[0], "titles") != 0)) {
        std::fprintf(stderr, "usage: tavolin2 playlist load FILE | save FILE ENTRY... | titles FILE\n");
        return 2;
    }
    const std::string verb = argv[0];
    // a play list is a file of lines: a folder, a pipe or a device (/dev/zero) is refused
    if (verb != "save" && !t2::platform::is_regular_file(argv[1])) {
        std::fprintf(stderr, "tavolin2 playlist: %s: not an ordinary file\n", argv[1]);
        return 1;
    }
    if (verb == "save")
        for (int i = 2; i < argc; ++i)
            if (std::strpbrk(argv[i], "\r\n")) {  // it would come back as two entries
                std::fprintf(stderr, "tavolin2 playlist: entry %d holds a line break\n", i - 1);
                return 2;
            }
    _MP3Class* player = new_player();
    ListBox* list = ListBox::make();
    BSTR file = SysAllocStringUTF8(argv[1]);
    VARIANT box;
    VariantInit(&box);
    box.vt = VT_DISPATCH;
    box.pdispVal = list;
    VARIANT r;
    HRESULT hr = S_OK;
    if (verb == "save") {
        std::vector<std::string> entries(argv + 2, argv + argc);
        ListBox* filled = ListBox::make(entries);
        box.pdispVal = filled;
        hr = player->MP3SavePlayList(&file, &box, &r);
        filled->Release();
        // the member goes on silently past a failed write: what reached the file says it
        std::ifstream back(argv[1], std::ios::binary);
        size_t lines = 0;
        for (std::string line; std::getline(back, line);) ++lines;
        if (SUCCEEDED(hr) && (!back.eof() || lines != entries.size())) {
            std::fprintf(stderr, "tavolin2 playlist: %s: %zu of %zu entries written\n", argv[1], lines,
                         entries.size());
            SysFreeString(file);
            list->Release();
            player->Release();
            return 1;
        }
        if (SUCCEEDED(hr)) std::printf("%zu entries written to %s\n", entries.size(), argv[1]);
    } else {
        hr = player->MP3OpenPlayList(&file, &box, &r);
        if (verb == "titles") {
            ListBox* titles = ListBox::make();
            IDispatch* a = titles;
            IDispatch* b = list;
            hr = player->ListNoChar(&a, &b);
            for (const auto& e : titles->entries()) std::printf("%s\n", e.c_str());
            titles->Release();
        } else {
            for (const auto& e : list->entries()) std::printf("%s\n", e.c_str());
        }
    }
    SysFreeString(file);
    list->Release();
    player->Release();
    return FAILED(hr) ? report(hr) : 0;
}

int cmd_play(int argc, char** argv) {
    double seconds = -1;
    std::string file;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (file.empty()) file = argv[i];
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: tavolin2 play FILE [--seconds N]\n");
        return 2;
    }
    if (!t2::mci::real_backend_available())
        std::fprintf(stderr, "note: this build has no libmpv; the simulated backend plays silently\n");
    _MP3Class* p = new_player();
    BSTR name = SysAllocStringUTF8(file.c_str());
    p->put_MP3File(name);
    SysFreeString(name);
    p->MP3Play();
    VARIANT_BOOL playing = VARIANT_FALSE;
    p->MP3Playing(&playing);
    if (!playing) {
        std::fprintf(stderr, "tavolin2: %s does not play\n", file.c_str());
        p->Release();
        return 1;
    }
    VARIANT length;
    p->MP3Duration(&length);
    const bool tty = isatty(0);
    termios saved{};
    if (tty) {
        tcgetattr(0, &saved);
        termios raw = saved;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        tcsetattr(0, TCSANOW, &raw);
        std::fprintf(stderr, "space: pause or resume, q: quit\n");
    }
    auto start = std::chrono::steady_clock::now();
    bool paused = false;
    while (true) {
        VARIANT pos;
        p->MP3Position(&pos);
        std::fprintf(stderr, "\r%s / %s %s", show(pos).c_str(), show(length).c_str(), paused ? "(paused)" : "        ");
        VariantClear(&pos);
        p->MP3Playing(&playing);
        if (!playing && !paused) break;
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds >= 0 && elapsed >= seconds) break;
        pollfd fd{0, POLLIN, 0};
        if (tty && poll(&fd, 1, 1000) > 0) {
            char c = 0;
            if (read(0, &c, 1) == 1) {
                if (c == 'q') break;
                if (c == ' ') {
                    paused ? p->MP3Resume() : p->MP3Pause();
                    paused = !paused;
                }
            }
        } else if (!tty) {
            std::this_thread::sleep_for(std::chrono::milliseconds(seconds >= 0 && seconds < 1 ? 100 : 1000));
        }
    }
    std::fprintf(stderr, "\n");
    if (tty) tcsetattr(0, TCSANOW, &saved);
    p->MP3Stop();
    VariantClear(&length);
    p->Release();
    return 0;
}

}  // namespace host

namespace host {

int cmd_movie(int argc, char** argv) {
    double seconds = -1;
    bool window = false;
    std::string file;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--window") == 0) window = true;
        else if (file.empty()) file = argv[i];
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: tavolin2 movie FILE [--window] [--seconds N]\n");
        return 2;
    }
    if (!t2::mci::real_backend_available())
        std::fprintf(stderr, "note: this build has no libmpv; the simulated backend plays silently\n");
    if (window) std::fprintf(stderr, "note: the movie plays headless here; --window asks for no window of its own\n");
    _MovieModule* m = nullptr;
    T2CoCreateInstance(CLSID_MovieModule, IID__MovieModule, reinterpret_cast<void**>(&m));
    BSTR name = SysAllocStringUTF8(file.c_str());
    m->put_Filename(name);
    SysFreeString(name);
    VARIANT r;
    m->openMovie(&r);
    LONG error = 0;
    m->get_Error(&error);
    if (error) {
        BSTR text = nullptr;
        m->checkError(&text);
        std::fprintf(stderr, "tavolin2: %s: error %ld: %s\n", file.c_str(), static_cast<long>(error), utf8(text).c_str());
        SysFreeString(text);
        m->Release();
        return 1;
    }
    LONG ms = 0, fps = 0;
    m->getLengthInMS(&ms);
    m->getFramePerSecRate(&fps);
    BSTR size = nullptr, length = nullptr;
    m->getDefaultSize(&size);
    m->getFormatLength(&length);
    std::printf("%s: %s (%ld ms), %ld frames a second, picture %s\n", file.c_str(), utf8(length).c_str(),
                static_cast<long>(ms), static_cast<long>(fps), utf8(size).c_str());
    SysFreeString(size);
    SysFreeString(length);
    m->playMovie(&r);
    auto start = std::chrono::steady_clock::now();
    while (true) {
        VARIANT_BOOL playing = VARIANT_FALSE;
        m->isMoviePlaying(&playing);
        BSTR pos = nullptr;
        m->getFormatPosition(&pos);
        BSTR status = nullptr;
        m->getStatus(&status);
        std::fprintf(stderr, "\r%s  %s   ", utf8(pos).c_str(), utf8(status).c_str());
        SysFreeString(pos);
        SysFreeString(status);
        if (!playing) break;
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds >= 0 && elapsed >= seconds) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    std::fprintf(stderr, "\n");
    m->closeMovie(&r);
    m->Release();
    return 0;
}

}  // namespace host
