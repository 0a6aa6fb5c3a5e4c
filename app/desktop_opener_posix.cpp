#include "app/desktop_opener.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>
#include <utility>

#include "app/wide_text.h"

extern char** environ;

namespace velmor {

namespace {

// Starts `arguments` as a process of its own with /dev/null as its three standard
// streams, no other descriptor, default signal handling and a session of its own (no
// signal from the finder's terminal reaches it). The opener may be the browser itself and
// live on, so a thread of its own waits for it and leaves no zombie.
void startDetached(std::vector<std::string> line) {
    if (line.empty()) {
        return;
    }
    std::vector<char*> argv;
    for (std::string& argument : line) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return;
    }
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return;
    }
    bool ready =
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO) == 0 &&
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1) == 0;
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    // Every signal below the real-time ones (the C library refuses its own two among them).
    sigemptyset(&all);
    for (int signal = 1; signal < SIGRTMIN; ++signal) {
        sigaddset(&all, signal);
    }
    ready = ready && posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
            posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                      POSIX_SPAWN_SETSID) == 0;
    pid_t opener = -1;
    if (ready && posix_spawnp(&opener, argv[0], &actions, &attributes, argv.data(), environ) == 0) {
        try {
            std::thread([opener] {
                int status = 0;
                while (::waitpid(opener, &status, 0) < 0 && errno == EINTR) {
                }
            }).detach();
        } catch (const std::system_error&) {
            // No thread to wait: the ended opener stays a zombie until the finder ends.
        }
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
}

} // namespace

DesktopOpener::DesktopOpener(std::vector<std::string> command) : opener(std::move(command)) {}

void DesktopOpener::open(std::u16string_view url) {
    std::vector<std::string> arguments = opener;
    arguments.push_back(narrowText(url));
    startDetached(std::move(arguments));
}

} // namespace velmor
