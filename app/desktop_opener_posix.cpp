#include "app/desktop_opener.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "app/wide_text.h"

extern char** environ;

namespace velmor {

namespace {

// Starts `arguments` through a shell that puts it in the background and ends at once, so
// the opener (which may be the browser itself and live on) is nobody's child here and
// leaves no zombie. Everything the shell and the opener get: /dev/null as their three
// standard streams, no other descriptor, default signal handling, a session of their
// own (no signal from the finder's terminal reaches them).
void startDetached(const std::vector<std::string>& arguments) {
    std::vector<std::string> line{"/bin/sh", "-c", "\"$@\" &", "sh"};
    line.insert(line.end(), arguments.begin(), arguments.end());
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
    sigfillset(&all);
    ready = ready && posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
            posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                      POSIX_SPAWN_SETSID) == 0;
    pid_t shell = -1;
    if (ready && posix_spawn(&shell, argv[0], &actions, &attributes, argv.data(), environ) == 0) {
        // The shell only starts the opener in the background and ends.
        int status = 0;
        while (::waitpid(shell, &status, 0) < 0 && errno == EINTR) {
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
    startDetached(arguments);
}

} // namespace velmor
