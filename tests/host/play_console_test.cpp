// The play console as a person uses it, in a terminal that tmux keeps: keys
// typed with send-keys, the screen read with capture-pane.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

std::string output_of(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

class Console : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v tmux >/dev/null && command -v ffmpeg >/dev/null") != 0)
            GTEST_SKIP() << "tmux and ffmpeg are not installed (scripts/deps.sh installs them)";
        dir_ = testing::TempDir() + "/t2-console-" + std::to_string(getpid());
        std::system(("mkdir -p " + dir_).c_str());
        socket_ = dir_ + "/tmux";
        std::ofstream list(dir_ + "/list.txt", std::ios::binary);
        for (const char* name : {"one", "two", "three"}) {
            const std::string file = dir_ + "/" + name + ".mp3";
            ASSERT_EQ(
                std::system(("ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:duration=40 " + file).c_str()),
                0);
            list << file << "\r\n";
        }
    }
    void TearDown() override {
        if (!socket_.empty()) std::system(("tmux -S " + socket_ + " kill-server 2>/dev/null").c_str());
        if (!dir_.empty()) std::system(("rm -rf " + dir_).c_str());
    }
    void start(const std::string& args) {
        // the pane stays after the program ends, so the shell's report of the terminal can be read;
        // the shell outlives the Ctrl-C meant for the program
        const std::string script = dir_ + "/run.sh";
        std::ofstream(script) << "trap : INT\n"
                              << TAVOLIN2_CLI << " " << args << "\nrc=$?\necho\necho EXIT=$rc\n"
                              << "stty -a | tr ' ;' '\\n\\n' | grep -x -- '-*icanon'\nsleep 60\n";
        ASSERT_EQ(std::system(("tmux -S " + socket_ + " new-session -d -x 120 -y 20 'sh " + script + "'").c_str()), 0);
    }
    void keys(const std::string& k) { std::system(("tmux -S " + socket_ + " send-keys " + k).c_str()); }
    std::string screen() { return output_of("tmux -S " + socket_ + " capture-pane -p"); }
    // Waits (a few seconds at most) for the screen to show `text`.
    bool shows(const std::string& text) {
        for (int i = 0; i < 100; ++i) {
            if (screen().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    // The position the status line shows now, in seconds.
    int position() {
        const std::string s = screen();
        const auto slash = s.rfind(" / ");
        if (slash == std::string::npos) return -1;
        const auto colon = s.rfind(':', slash);
        const auto start = s.rfind(' ', colon) + 1;
        return std::stoi(s.substr(start, colon - start)) * 60 + std::stoi(s.substr(colon + 1, slash - colon - 1));
    }
    std::string dir_, socket_;
};

TEST_F(Console, ArrowsSeekNAndPWalkThePlayListCtrlCRestoresTheTerminal) {
    start("play " + dir_ + "/list.txt");
    ASSERT_TRUE(shows("[1/3]")) << screen();
    keys("Right");
    keys("Right");
    ASSERT_TRUE(shows("0:1")) << screen();  // ten seconds on
    EXPECT_GE(position(), 10);
    keys("Left");
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_LT(position(), 10) << screen();
    keys("n");
    ASSERT_TRUE(shows("[2/3]")) << screen();
    keys("n");
    ASSERT_TRUE(shows("[3/3]")) << screen();
    keys("p");
    ASSERT_TRUE(shows("[2/3]")) << screen();
    keys("C-c");
    ASSERT_TRUE(shows("EXIT=0")) << screen();
    ASSERT_TRUE(shows("icanon")) << screen();  // the shell's stty line comes a moment after the exit line
    const std::string s = screen();
    EXPECT_NE(s.find("\nicanon"), std::string::npos) << s;  // line editing is back on
    EXPECT_EQ(s.find("-icanon"), std::string::npos) << s;
}

}  // namespace
