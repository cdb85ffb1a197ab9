// What the media checks share: media made by ffmpeg, the output of a command,
// and a virtual X server of a test's own.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>
#include <thread>

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
        name_ = ":" + std::to_string(90 + getpid() % 400);
        const std::string pid_file = testing::TempDir() + "/t2-xvfb" + std::to_string(getpid());
        std::system(
            ("Xvfb " + name_ + " -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 & echo $! > " + pid_file).c_str());
        std::ifstream(pid_file) >> pid_;
        std::remove(pid_file.c_str());
        for (int i = 0; i < 50 && !up_; ++i) {
            up_ = std::system(("xwininfo -root -display " + name_ + " >/dev/null 2>&1").c_str()) == 0;
            if (!up_) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
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
