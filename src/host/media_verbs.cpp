// tavolin2 mci (a console for the media channel), playlist and play.
#include <poll.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "host/steps.hpp"
#include "host/verbs.hpp"
#include "tavolin2/platform.h"

namespace host {

namespace {
bool media_is_real() {
    int real = 0;
    T2MediaBackend(&real);
    return real != 0;
}
bool regular_file(const char* name) {
    struct stat st {};
    return stat(name, &st) == 0 && S_ISREG(st.st_mode);
}
// Whether a file is a play list, by its content: lines of text (no byte below a space
// but tab, CR and LF in its first 4 KB), where a sound, a movie or a picture holds
// binary data from its first bytes on.
bool play_list_file(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    char head[4096];
    in.read(head, sizeof head);
    const auto n = in.gcount();
    if (n <= 0) return false;
    for (std::streamsize i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(head[i]);
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') return false;
    }
    return true;
}
}  // namespace

namespace {

// The characters of UTF-8 `text` that the code page (Windows-1252) cannot hold.
std::string not_in_code_page(const std::string& text) {
    std::string missing;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t n = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::string one = text.substr(i, n);
        char out[8];
        if (T2TextToCodePage(one.c_str(), out, sizeof out) > 0) missing += one;
        i += n;
    }
    return missing;
}

// A text as the user typed it (UTF-8 on a UTF-8 terminal; a byte that is no UTF-8,
// such as one typed in the code page itself, stays as it is) in the channel's code
// page, saying which characters it cannot hold.
std::string in_code_page(const std::string& text, const std::string& what) {
    std::vector<char> out(text.size() + 1);
    if (T2TextToCodePage(text.c_str(), out.data(), static_cast<uint32_t>(out.size())) > 0)
        std::fprintf(stderr, "tavolin2: %s: the code page (Windows-1252) has no %s; sent as ?\n", what.c_str(),
                     not_in_code_page(text).c_str());
    return out.data();
}

// One command: its answer, or its error number and text.
int run_command(const std::string& typed) {
    const std::string cmd = in_code_page(typed, "the command");
    char reply[512] = {};
    uint32_t r = T2mciSendString(cmd.c_str(), reply, sizeof reply, 0);
    if (r == 0) {
        std::printf("%s\n", reply);
        return 0;
    }
    char text[256];
    T2mciGetErrorString(r, text, sizeof text);
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
    std::fprintf(stderr, "media channel: %s backend%s\n", T2MediaBackend(nullptr),
                 media_is_real() ? "" : " (this build has no libmpv: nothing is heard or seen)");
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

namespace {

// Why a play list could not be written at `path`, as far as the host can tell.
std::string save_failure_reason(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat st {};
    auto system_error = [](int e) { return std::string(std::strerror(e)) + " (error " + std::to_string(e) + ")"; };
    if (stat(folder.c_str(), &st) != 0) return folder + ": " + system_error(errno);
    if (!S_ISDIR(st.st_mode)) return folder + ": " + system_error(ENOTDIR);
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return "not an ordinary file";
    if (access(folder.c_str(), W_OK) != 0) return folder + ": " + system_error(errno);
    if (const uint32_t e = T2GetLastError(); e == 5) {  // refused: a link the saver may not follow, say
        char text[256] = "";
        T2FormatMessage(e, text, sizeof text);
        return std::string(text) + " (error 5)";
    }
    return "the file could not be written in full";
}

// Why MP3OpenPlayList left the list empty although the file holds something ("" when
// it did not): the member is silent about a list it refuses.
std::string refusal_of_play_list(const char* path, IDispatch* list) {
    struct stat st {};
    if (!list_entries(list).empty() || stat(path, &st) != 0 || st.st_size == 0) return "";
    if (st.st_size > T2_PLAYLIST_MAX_BYTES)
        return "larger than the " + std::to_string(T2_PLAYLIST_MAX_BYTES >> 20) + " MB a play list may have";
    std::ifstream in(path, std::ios::binary);
    long lines = 0;
    for (char c; in.get(c);) lines += c == '\r';
    if (lines >= T2_PLAYLIST_MAX_ENTRIES)
        return "more than the " + std::to_string(T2_PLAYLIST_MAX_ENTRIES) + " entries a play list may have";
    return "the file could not be read";
}

}  // namespace

int cmd_playlist(int argc, char** argv) {
    if (argc < 2 || (std::strcmp(argv[0], "load") != 0 && std::strcmp(argv[0], "save") != 0 &&
                     std::strcmp(argv[0], "titles") != 0)) {
        std::fprintf(stderr, "usage: tavolin2 playlist load FILE | save FILE ENTRY... | titles FILE\n");
        return 2;
    }
    const std::string verb = argv[0];
    // a play list is a file of lines: a folder, a pipe or a device (/dev/zero) is refused
    if (verb != "save" && !regular_file(argv[1])) {
        std::fprintf(stderr, "tavolin2 playlist: %s: not an ordinary file\n", argv[1]);
        return 1;
    }
    if (verb != "save" && !play_list_file(argv[1])) {
        struct stat st {};
        if (stat(argv[1], &st) == 0 && st.st_size > 0 && st.st_size <= T2_PLAYLIST_MAX_BYTES) {
            std::fprintf(stderr, "tavolin2 playlist: %s: not a play list (it holds binary data)\n", argv[1]);
            return 1;
        }
    }
    if (verb == "save")
        for (int i = 2; i < argc; ++i)
            if (const std::string lost = not_in_code_page(argv[i]); !lost.empty())
                std::fprintf(stderr,
                             "tavolin2 playlist: entry %d: the code page (Windows-1252) has no %s; saved as ?\n", i - 1,
                             lost.c_str());
    if (verb == "save")
        for (int i = 2; i < argc; ++i)
            if (std::strpbrk(argv[i], "\r\n")) {  // it would come back as two entries
                std::fprintf(stderr, "tavolin2 playlist: entry %d holds a line break\n", i - 1);
                return 2;
            }
    _MP3Class* player = new_player();
    IDispatch* list = make_list_box({});
    BSTR file = SysAllocStringUTF8(argv[1]);
    VARIANT box;
    VariantInit(&box);
    box.vt = VT_DISPATCH;
    box.pdispVal = list;
    VARIANT r;
    HRESULT hr = S_OK;
    if (verb == "save") {
        std::vector<std::string> entries(argv + 2, argv + argc);
        IDispatch* filled = make_list_box(entries);
        box.pdispVal = filled;
        // the member goes on silently past a failed save and leaves the old file: a
        // new file at the name, or the old one written (a save into a file it must not
        // replace writes in place), is the sign that it went through
        struct stat before {};
        const bool existed = stat(argv[1], &before) == 0;
        hr = player->MP3SavePlayList(&file, &box, &r);
        filled->Release();
        struct stat after {};
        const bool replaced =
            stat(argv[1], &after) == 0 &&
            (!existed || after.st_ino != before.st_ino || after.st_dev != before.st_dev ||
             after.st_ctim.tv_sec != before.st_ctim.tv_sec || after.st_ctim.tv_nsec != before.st_ctim.tv_nsec);
        if (SUCCEEDED(hr) && !replaced) {
            std::fprintf(stderr, "tavolin2 playlist: %s: not saved (%s); %s\n", argv[1],
                         save_failure_reason(argv[1]).c_str(),
                         existed ? "the file was left as it was" : "no file was made");
            SysFreeString(file);
            list->Release();
            player->Release();
            return 1;
        }
        if (SUCCEEDED(hr)) std::printf("%zu entries written to %s\n", entries.size(), argv[1]);
    } else {
        hr = player->MP3OpenPlayList(&file, &box, &r);
        if (const std::string why = refusal_of_play_list(argv[1], list); SUCCEEDED(hr) && !why.empty()) {
            std::fprintf(stderr, "tavolin2 playlist: %s: not read: %s\n", argv[1], why.c_str());
            SysFreeString(file);
            list->Release();
            player->Release();
            return 1;
        }
        if (verb == "titles") {
            IDispatch* titles = make_list_box({});
            IDispatch* a = titles;
            IDispatch* b = list;
            hr = player->ListNoChar(&a, &b);
            for (const auto& e : list_entries(titles)) std::printf("%s\n", e.c_str());
            titles->Release();
        } else {
            for (const auto& e : list_entries(list)) std::printf("%s\n", e.c_str());
        }
    }
    SysFreeString(file);
    list->Release();
    player->Release();
    return FAILED(hr) ? report(hr) : 0;
}

namespace {

volatile sig_atomic_t g_interrupted = 0;
void on_interrupt(int) { g_interrupted = 1; }

// The terminal in single-key mode while the console runs, and as it was after it,
// also when Ctrl-C ends it.
class RawTerminal {
public:
    RawTerminal() : tty_(isatty(0) != 0) {
        if (!tty_) return;
        tcgetattr(0, &saved_);
        termios raw = saved_;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(0, TCSANOW, &raw);
    }
    ~RawTerminal() {
        if (tty_) tcsetattr(0, TCSANOW, &saved_);
    }
    bool tty() const { return tty_; }

private:
    bool tty_;
    termios saved_{};
};

// A key of the console: a letter, or an arrow (its escape sequence read whole).
enum Key { kNone, kQuit, kPause, kNext, kPrevious, kBack, kOn };
Key read_key(int wait_ms) {
    pollfd fd{0, POLLIN, 0};
    if (poll(&fd, 1, wait_ms) <= 0) return kNone;
    char c = 0;
    if (read(0, &c, 1) != 1) return kQuit;  // end of input
    if (c == 'q') return kQuit;
    if (c == ' ') return kPause;
    if (c == 'n') return kNext;
    if (c == 'p') return kPrevious;
    if (c == 27) {
        char seq[2] = {};
        if (poll(&fd, 1, 50) > 0 && read(0, &seq[0], 1) == 1 && seq[0] == '[' && poll(&fd, 1, 50) > 0 &&
            read(0, &seq[1], 1) == 1) {
            if (seq[1] == 'C') return kOn;
            if (seq[1] == 'D') return kBack;
        }
    }
    return kNone;
}

// The entries of a play list file, read by MP3OpenPlayList.
std::vector<std::string> play_list(_MP3Class* player, const std::string& file) {
    IDispatch* list = make_list_box({});
    BSTR name = SysAllocStringUTF8(file.c_str());
    VARIANT box;
    VariantInit(&box);
    box.vt = VT_DISPATCH;
    box.pdispVal = list;
    VARIANT r;
    player->MP3OpenPlayList(&name, &box, &r);
    std::vector<std::string> entries = list_entries(list);
    SysFreeString(name);
    list->Release();
    // an entry without a folder of its own lies beside the list, wherever the console runs
    const size_t slash = file.rfind('/');
    if (slash != std::string::npos)
        for (std::string& e : entries)
            if (!e.empty() && e[0] != '/') e = file.substr(0, slash + 1) + e;
    return entries;
}

bool start(_MP3Class* p, const std::string& file) {
    BSTR name = SysAllocStringUTF8(file.c_str());
    p->put_MP3File(name);
    SysFreeString(name);
    p->MP3Play();
    VARIANT_BOOL playing = VARIANT_FALSE;
    p->MP3Playing(&playing);
    return playing != 0;
}

// Moves by `seconds` from the position now, not before the start.
void seek_by(_MP3Class* p, double seconds) {
    VARIANT ms;
    p->MP3PositionInMS(&ms);
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_R8;
    target.dblVal = std::max(0.0, ms.vt == VT_R8 ? ms.dblVal / 1000.0 + seconds : 0.0);
    VARIANT r;
    p->MP3ChangePositionTo(&target, &r);
    VariantClear(&ms);
}

}  // namespace

int cmd_play(int argc, char** argv) {
    double seconds = -1;
    std::string file;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            if (!option_real("play", "--seconds", argv[++i], 0, 86400, seconds)) return 2;
        } else if (argv[i][0] == '-' && argv[i][1])
            return unknown_argument("play", argv[i]);
        else if (file.empty())
            file = argv[i];
        else
            return unknown_argument("play", argv[i]);
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: tavolin2 play FILE|PLAYLIST [--seconds N]\n");
        return 2;
    }
    if (!media_is_real())
        std::fprintf(stderr, "note: this build has no libmpv; the simulated backend plays silently\n");
    _MP3Class* p = new_player();
    std::vector<std::string> entries = play_list_file(file) ? play_list(p, file) : std::vector<std::string>{file};
    if (entries.empty()) {
        std::fprintf(stderr, "tavolin2: %s holds no entries\n", file.c_str());
        p->Release();
        return 1;
    }
    // From entry `from` on in direction `step`, the first that plays (a missing or
    // broken entry is named and passed over); entries.size() when none does.
    auto first_playing = [&](size_t from, int step) {
        for (size_t k = from; k<entries.size(); k = step> 0 ? k + 1 : k == 0 ? entries.size() : k - 1) {
            if (start(p, entries[k])) return k;
            std::fprintf(stderr, "%stavolin2: %s does not play; passed over\n", isatty(2) ? "\n" : "",
                         entries[k].c_str());
        }
        return entries.size();
    };
    size_t at = first_playing(0, 1);
    if (at == entries.size()) {
        p->Release();
        return 1;
    }
    RawTerminal terminal;
    g_interrupted = 0;
    struct sigaction action {
    }, previous{};
    action.sa_handler = on_interrupt;
    sigaction(SIGINT, &action, &previous);
    if (terminal.tty())
        std::fprintf(stderr, "space: pause or resume, left/right: 5 s back/on, n/p: next/previous entry, q: quit\n");
    auto begun = std::chrono::steady_clock::now();
    bool paused = false;
    const bool status_line = isatty(2) != 0;
    std::string last_status;
    while (!g_interrupted) {
        VARIANT pos, length;
        p->MP3Position(&pos);
        p->MP3Duration(&length);
        std::string where =
            entries.size() > 1 ? "[" + std::to_string(at + 1) + "/" + std::to_string(entries.size()) + "] " : "";
        last_status = where + show(pos) + " / " + show(length);
        if (status_line) {  // redrawn in place on a terminal only; a log gets the last one
            std::fprintf(stderr, "\r%s %s", last_status.c_str(), paused ? "(paused)" : "        ");
            std::fflush(stderr);  // the player's libraries may leave stderr buffered
        }
        VariantClear(&pos);
        VariantClear(&length);
        VARIANT_BOOL playing = VARIANT_FALSE;
        p->MP3Playing(&playing);
        int step = 0;
        if (!playing && !paused) {
            if (at + 1 >= entries.size()) break;
            step = 1;  // the next entry when one ends
        }
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        if (seconds >= 0 && elapsed >= seconds) break;
        const Key key = !terminal.tty() ? kNone : read_key(200);
        if (!terminal.tty())
            std::this_thread::sleep_for(std::chrono::milliseconds(seconds >= 0 && seconds < 1 ? 100 : 250));
        if (key == kQuit) break;
        if (key == kPause) {
            paused ? p->MP3Resume() : p->MP3Pause();
            paused = !paused;
        }
        if (key == kOn || key == kBack) seek_by(p, key == kOn ? 5 : -5);
        if (key == kNext && at + 1 < entries.size()) step = 1;
        if (key == kPrevious && at > 0) step = -1;
        if (step) {
            p->MP3Stop();
            paused = false;
            const size_t next = first_playing(step > 0 ? at + 1 : at - 1, step);
            if (next == entries.size()) break;  // nothing further plays
            at = next;
        }
    }
    std::fprintf(stderr, status_line ? "\n" : "%s\n", last_status.c_str());
    sigaction(SIGINT, &previous, nullptr);
    p->MP3Stop();
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
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            if (!option_real("movie", "--seconds", argv[++i], 0, 86400, seconds)) return 2;
        } else if (std::strcmp(argv[i], "--window") == 0)
            window = true;
        else if (argv[i][0] == '-' && argv[i][1])
            return unknown_argument("movie", argv[i]);
        else if (file.empty())
            file = argv[i];
        else
            return unknown_argument("movie", argv[i]);
    }
    if (file.empty()) {
        std::fprintf(stderr, "usage: tavolin2 movie FILE [--window] [--seconds N]\n");
        return 2;
    }
    if (!media_is_real())
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
        std::fprintf(stderr, "tavolin2: %s: error %ld: %s\n", file.c_str(), static_cast<long>(error),
                     utf8(text).c_str());
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
    const bool status_line = isatty(2) != 0;  // redrawn in place on a terminal; a log gets the last one
    std::string last_status;
    while (true) {
        VARIANT_BOOL playing = VARIANT_FALSE;
        m->isMoviePlaying(&playing);
        BSTR pos = nullptr;
        m->getFormatPosition(&pos);
        BSTR status = nullptr;
        m->getStatus(&status);
        last_status = utf8(pos) + "  " + utf8(status);
        if (status_line) std::fprintf(stderr, "\r%s   ", last_status.c_str());
        SysFreeString(pos);
        SysFreeString(status);
        if (!playing) break;
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds >= 0 && elapsed >= seconds) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    std::fprintf(stderr, status_line ? "\n" : "%s\n", last_status.c_str());
    m->closeMovie(&r);
    m->Release();
    return 0;
}

}  // namespace host
