// The page opener's process: a fake opener that reports its descriptors, writes to its
// standard error and lives on after the opener object (as a browser outlives the window).
#include "app/desktop_opener.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace velmor {
namespace {

// What a writer writes into the FIFO at `path`, until it closes it; empty when none
// comes. The bound only keeps a broken test from hanging.
std::string readFifo(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK); // no writer needed yet
    std::string text;
    bool opened = false;
    for (;;) {
        pollfd data{fd, POLLIN, 0};
        if (::poll(&data, 1, 60'000) <= 0) {
            break;
        }
        std::array<char, 512> buffer{};
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count <= 0 && (opened || (data.revents & POLLHUP) != 0)) {
            break; // the writer closed its end
        }
        if (count > 0) {
            opened = true;
            text.append(buffer.data(), static_cast<std::size_t>(count));
        }
    }
    ::close(fd);
    return text;
}

TEST(DesktopOpener, StartsTheOpenerWithNoneOfOurDescriptorsAndDoesNotWaitForIt) {
    char pattern[] = "/tmp/rbfinder-opener-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string report = dir + "/report";
    const std::string hold = dir + "/hold";
    ASSERT_EQ(::mkfifo(report.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(hold.c_str(), 0600), 0);

    // A descriptor of ours that a child could inherit, as the capture's pipe is.
    std::array<int, 2> ours{};
    ASSERT_EQ(::pipe(ours.data()), 0);
    {
        // The fake reports its address, ignored signals and descriptors, chatters, then waits to be
        // let go. ls runs in a subshell with its output on a file, so the listing shows the shell's
        // own descriptors and nothing that the listing itself opened.
        const std::string script = "(exec ls -l /proc/$$/fd > " + dir + "/fds); " +
                                   "echo chatter >&2; echo chatter; " +
                                   "{ echo \"$1\"; grep SigIgn /proc/$$/status; cat " + dir +
                                   "/fds; } > " + report + "; read line < " + hold;
        DesktopOpener opener({"/bin/sh", "-c", script, "fake-opener"});
        opener.open(u"http://10.0.0.1/");
    } // the opener is gone; its process is not
    const std::string seen = readFifo(report);
    if (const int release = ::open(hold.c_str(), O_WRONLY | O_NONBLOCK); release >= 0) {
        ::close(release); // the fake's read ends
    }
    ::close(ours[0]);
    ::close(ours[1]);
    std::filesystem::remove_all(dir);

    std::istringstream lines(seen);
    std::string url;
    std::getline(lines, url);
    EXPECT_EQ(url, "http://10.0.0.1/");
    std::string line;
    std::getline(lines, line);
    // None of the 31 ordinary signals ignored, as a browser expects (the C library's own
    // real-time signals are its business).
    ASSERT_EQ(line.rfind("SigIgn:\t", 0), 0u) << line;
    EXPECT_EQ(std::stoull(line.substr(8), nullptr, 16) & 0x7FFF'FFFFULL, 0u) << line;
    int descriptors = 0;
    while (std::getline(lines, line)) {
        const std::size_t arrow = line.find(" -> ");
        if (arrow == std::string::npos) {
            continue; // the listing's total
        }
        ++descriptors;
        EXPECT_NE(line.find("/dev/null", arrow), std::string::npos) << line;
    }
    EXPECT_EQ(descriptors, 3) << seen;
}

} // namespace
} // namespace velmor
