// Load on the host: `tavolin2 register` run by eight processes at once, twenty
// times over, leaves a registration file that reads back whole.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

// The registration file's keys ("[...]" lines), or -1 when a line is neither
// a key, a value, a comment nor empty.
int keys_in(const std::string& path) {
    std::ifstream f(path);
    if (!f) return -1;
    int keys = 0;
    for (std::string line; std::getline(f, line);) {
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']')
            ++keys;
        else if (line.find('=') == std::string::npos)
            return -1;
    }
    return keys;
}

TEST(Load, EightConcurrentRegistersTwentyTimesLeaveAValidFile) {
    char tmpl[] = "/tmp/t2loadXXXXXX";
    const std::string dir = mkdtemp(tmpl);
    std::vector<std::string> env_text;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("XDG_DATA_HOME=", 0) != 0) env_text.emplace_back(*e);
    env_text.push_back("XDG_DATA_HOME=" + dir);
    std::vector<char*> env;
    for (auto& s : env_text) env.push_back(s.data());
    env.push_back(nullptr);
    char cli[] = TAVOLIN2_CLI;
    char verb[] = "register";
    char* argv[] = {cli, verb, nullptr};

    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    int first = -1;
    for (int round = 0; round < 20; ++round) {
        std::vector<pid_t> pids(8);
        for (pid_t& pid : pids) ASSERT_EQ(posix_spawn(&pid, cli, &quiet, nullptr, argv, env.data()), 0);
        for (pid_t pid : pids) {
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
        }
        const int keys = keys_in(dir + "/tavolin2/registry");
        if (first < 0) first = keys;
        ASSERT_GT(keys, 0) << "round " << round;
        EXPECT_EQ(keys, first) << "round " << round;  // the same entries, never two copies
    }
    posix_spawn_file_actions_destroy(&quiet);
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
