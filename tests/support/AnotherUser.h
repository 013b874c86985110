// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a check in a child process as a user without privileges, for what root may do anyway
// (write a protected file, start threads past a limit).
#pragma once

#include <functional>
#include <string>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs Action in a child process made by fork; when AnotherUser, as the unprivileged user
// "nobody" (uid and gid 65534) if the tests run as root. Returns what Action returned.
inline std::string InAChild(const std::function<std::string()>& Action, bool AnotherUser = false) {
    int out[2];
    if (pipe(out) != 0) return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        std::string result;
        if (AnotherUser && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            result = "could not become nobody";
        else
            result = Action();
        (void)!write(out[1], result.data(), result.size());
        _exit(0);
    }
    close(out[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    waitpid(pid, nullptr, 0);
    return result;
}

// Runs Action in a child process as the unprivileged user "nobody" when the tests run as root, as
// the same user otherwise; returns what Action returned.
inline std::string AsAnotherUser(const std::function<std::string()>& Action) {
    return InAChild(Action, true);
}
