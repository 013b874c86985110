// SPDX-License-Identifier: GPL-3.0-or-later
// The program when the system refuses new threads (the user's limit of processes is reached):
// whether the limit was set before the program started or comes in the middle of a session,
// every window paints and a drawing is made, undone, saved, rendered and exported; a program
// that gets no thread at all says so and ends instead of freezing. Each session runs in a
// process of its own (tests/app/threadlimit/ThreadLimitSession.cpp), as a user without
// privileges, whom the limit binds.
#include <Magick++.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The tests run as root in CI; the limit binds only a user without privileges.
uid_t SessionUser() {
    return geteuid() == 0 ? 65534 : getuid();
}

// Threads the system counts against a user: every thread of every process whose real user it is.
int ThreadsOfUser(uid_t Uid) {
    int threads = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        std::ifstream status(entry.path() / "status");
        uid_t real = 0;
        int count = 0;
        bool mine = false;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("Uid:", 0) == 0)
                mine = std::sscanf(line.c_str(), "Uid: %u", &real) == 1 && real == Uid;
            if (line.rfind("Threads:", 0) == 0) count = std::atoi(line.c_str() + 8);
        }
        if (mine) threads += count;
    }
    return threads;
}

struct TSession {
    int Status = -1; // the exit status; -1 when the session hung and was killed
    std::string Output;
};

// Runs the session program as SessionUser with Arguments. Spare >= 0 limits the user, before
// the start, to that many threads beyond what it runs now (the session's own process counted);
// a session still running after Seconds is killed.
TSession RunSession(int Spare, const std::vector<std::string>& Arguments, int Seconds = 600) {
    // The session's temporary folder, its own (the test program's private folders are not).
    std::string folder = "/tmp/quor-threads-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) return {};
    const uid_t user = SessionUser();
    if (chown(folder.c_str(), user, user) != 0) return {};
    // A picture that ImageMagick reads, large enough for it to share the work among threads.
    const std::string picture = folder + "/cmyk.psd";
    {
        Magick::InitializeMagick(nullptr);
        Magick::Image cmyk(Magick::Geometry(2000, 2000), Magick::Color("white"));
        cmyk.depth(8);
        cmyk.colorSpace(MagickCore::CMYKColorspace);
        cmyk.compressType(MagickCore::RLECompression);
        cmyk.write(picture);
        if (chown(picture.c_str(), user, user) != 0) return {};
    }
    const rlim_t allowed = static_cast<rlim_t>(ThreadsOfUser(user) + 1 + Spare);
    int out[2];
    if (pipe(out) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        close(out[1]);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0))
            _exit(5);
        if (Spare >= 0) {
            rlimit limit{};
            getrlimit(RLIMIT_NPROC, &limit);
            limit.rlim_cur = allowed;
            if (setrlimit(RLIMIT_NPROC, &limit) != 0) _exit(4);
        }
        setenv("TMPDIR", folder.c_str(), 1);
        setenv("QUOR_MAGICK_PICTURE", picture.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // The leak check of the sanitizer build needs a thread of its own at the end.
        const char* asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(QUOR_THREAD_LIMIT_SESSION)};
        for (const std::string& a : Arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(QUOR_THREAD_LIMIT_SESSION, argv.data());
        _exit(6);
    }
    close(out[1]);
    TSession session;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wait{out[0], POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(std::max<int64_t>(0, left.count())));
        if (ready == 0) {
            kill(pid, SIGKILL);
            session.Output += "\n(killed: still running after " + std::to_string(Seconds) + " s)";
            break;
        }
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        session.Output.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    session.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return session;
}

TEST(ThreadLimit, EverythingWorksUnderALimitSetBeforeTheStart) {
    // Three threads to spare: as many as a window needs, so the program starts.
    const TSession session = RunSession(3, {});
    EXPECT_EQ(session.Status, 0) << session.Output;
}

TEST(ThreadLimit, EverythingWorksWhenTheLimitComesInTheMiddleOfASession) {
    const TSession session = RunSession(-1, {"--limit-after-start"});
    EXPECT_EQ(session.Status, 0) << session.Output;
}

TEST(ThreadLimit, AProgramThatGetsNoThreadSaysWhyAndEnds) {
    const TSession session = RunSession(0, {}, 60);
    EXPECT_EQ(session.Status, 3) << session.Output;
    EXPECT_NE(session.Output.find("quorvelle: Quorvelle cannot start: the system lets it start no new thread "
                                  "(Resource temporarily unavailable). Close some programs, or raise this "
                                  "user's limit of processes, and start Quorvelle again."),
              std::string::npos)
        << session.Output;
}

} // namespace
