// A second local user for the tests of what other users can and cannot do:
// a child process running as `nobody`.  Only root can become another user, so
// the tests that need one skip elsewhere.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace t2test {

inline bool can_switch_users() { return geteuid() == 0 && getpwnam("nobody") != nullptr; }

inline uid_t nobody_uid() { return getpwnam("nobody")->pw_uid; }
inline gid_t nobody_gid() { return getpwnam("nobody")->pw_gid; }

// Runs `body` as nobody in a child process; its result is the child's exit code
// (100 when the switch itself failed).
inline int as_nobody(const std::function<int()>& body) {
    const uid_t uid = nobody_uid();
    const gid_t gid = nobody_gid();
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(100);
        _exit(body());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace t2test
