// What the media checks share: media made by ffmpeg, the output of a command,
// and a virtual X server of a test's own.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace t2test {

// Media made with ffmpeg for the test: the path, or empty without ffmpeg.
// Each test process makes its media in a folder of its own: ctest runs the tests
// as parallel processes, and one rewriting a clip another is opening fails that open.
inline std::string make_media(const std::string& name, const std::string& arguments) {
    const std::string dir = testing::TempDir() + "/t2-media-" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    std::string path = dir + "/" + name;
    std::string cmd = "ffmpeg -loglevel error -y -f lavfi " + arguments + " " + path + " 2>/dev/null";
    return std::system(cmd.c_str()) == 0 ? path : std::string();
}

// Names that are no medium, in a folder of their own, each with media names:
// a pipe, a socket, a folder holding a medium, and play lists by content.
// `inner` is the file the folder and the lists name (a copy of `medium` when given).
class NonMedia {
public:
    explicit NonMedia(const std::string& medium = "") {
        dir_ = testing::TempDir() + "/t2-nonmedia-" + std::to_string(getpid());
        mkdir(dir_.c_str(), 0700);
        const std::string folder = dir_ + "/dir.mp3";
        mkdir(folder.c_str(), 0700);
        inner_ = folder + "/inner.mp3";
        if (medium.empty())
            std::ofstream(inner_, std::ios::binary) << "ID3";
        else
            std::system(("cp '" + medium + "' '" + inner_ + "'").c_str());
        add("a folder", folder);
        const std::string pipe = dir_ + "/pipe.mp3";
        mkfifo(pipe.c_str(), 0600);
        add("a named pipe", pipe);
        const std::string sock = dir_ + "/sock.mp3";
        socket_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        if (sock.size() < sizeof a.sun_path) {
            std::memcpy(a.sun_path, sock.c_str(), sock.size() + 1);
            if (bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) add("a socket", sock);
        }
        add_file("an extended M3U list", "list.mp3", "#EXTM3U\n#EXTINF:1,inner\n" + inner_ + "\n");
        add_file("a PLS list after a byte-order mark", "pls.mp3",
                 "\xEF\xBB\xBF[playlist]\r\nFile1=" + inner_ + "\r\nNumberOfEntries=1\r\n");
        add_file("an edit list", "edl.mp3", "# mpv EDL v0\n" + inner_ + "\n");
    }
    ~NonMedia() {
        if (socket_ >= 0) close(socket_);
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    const std::vector<std::pair<std::string, std::string>>& names() const { return names_; }
    const std::string& dir() const { return dir_; }
    const std::string& inner() const { return inner_; }

private:
    void add(const std::string& what, const std::string& path) { names_.emplace_back(what, path); }
    void add_file(const std::string& what, const std::string& name, const std::string& bytes) {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
        add(what, dir_ + "/" + name);
    }
    std::string dir_, inner_;
    int socket_ = -1;
    std::vector<std::pair<std::string, std::string>> names_;
};

// Runs `call` on a thread of its own: true when it returned within two seconds
// (a generous bound: the calls it watches return at once or never).  A call
// still running is unblocked (`unblock`, again and again) and waited for.
template <class Call, class Unblock>
bool returns_soon(Call call, Unblock unblock) {
    auto done = std::async(std::launch::async, call);
    const bool soon = done.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    while (!soon && done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) unblock();
    done.get();
    return soon;
}

// Opens a pipe's writing end and closes it: a reader waiting on the pipe sees its end.
inline void end_pipe(const std::string& pipe) {
    const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) close(fd);
}

// Runs a command and gives its output.
inline std::string output_of(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

// An Xvfb of the test's own, set as DISPLAY while it lives.
class VirtualDisplay {
public:
    VirtualDisplay() {
        if (std::system("command -v Xvfb >/dev/null && command -v xwininfo >/dev/null") != 0) return;
        // the server picks a free display number and writes it to fd 3: two tests never meet
        // on one number, nor a test on the server of the test before, still going away
        const std::string tag = testing::TempDir() + "/t2-xvfb" + std::to_string(getpid());
        std::system(("Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>" + tag +
                     ".n >/dev/null 2>&1 & echo $! > " + tag + ".pid")
                        .c_str());
        std::ifstream(tag + ".pid") >> pid_;
        for (int i = 0; i < 150 && !up_; ++i) {
            int number = -1;
            std::ifstream(tag + ".n") >> number;
            if (number >= 0) {
                name_ = ":" + std::to_string(number);
                up_ = std::system(("xwininfo -root -display " + name_ + " >/dev/null 2>&1").c_str()) == 0;
            }
            if (!up_) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        std::remove((tag + ".pid").c_str());
        std::remove((tag + ".n").c_str());
        const char* old = std::getenv("DISPLAY");
        saved_ = old ? old : "";
        had_ = old != nullptr;
        if (up_) setenv("DISPLAY", name_.c_str(), 1);
    }
    ~VirtualDisplay() {
        if (up_) {
            if (had_)
                setenv("DISPLAY", saved_.c_str(), 1);
            else
                unsetenv("DISPLAY");
        }
        if (pid_ > 0) kill(pid_, SIGTERM);
    }
    bool up() const { return up_; }
    const std::string& name() const { return name_; }
    // xwininfo about a window (by id), or the tree under the root
    std::string info(const std::string& args) const {
        return output_of("xwininfo " + args + " -display " + name_ + " 2>&1");
    }

private:
    std::string name_, saved_;
    pid_t pid_ = 0;
    bool up_ = false, had_ = false;
};

}  // namespace t2test
