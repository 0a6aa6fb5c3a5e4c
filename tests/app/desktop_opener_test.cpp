// The page opener's process: a fake opener that reports its descriptors, writes to its
// standard error and lives on after the opener object (as a browser outlives the window).
#include "app/desktop_opener.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace velmor {
namespace {

std::string readFifo(const std::string& path) {
    std::ifstream in(path); // opens when the writer does, reads until it closes
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
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
        // The fake lists its descriptors and address, chatters, then waits to be let go.
        // ls runs in a subshell with its output on a file, so the listing shows the
        // shell's own descriptors and nothing that the listing itself opened.
        const std::string script = "(exec ls -l /proc/$$/fd > " + dir + "/fds); " +
                                   "echo chatter >&2; echo chatter; " + "{ echo \"$1\"; cat " +
                                   dir + "/fds; } > " + report + "; read line < " + hold;
        DesktopOpener opener({"/bin/sh", "-c", script, "fake-opener"});
        opener.open(u"http://10.0.0.1/");
    } // the opener is gone; its process is not
    const std::string seen = readFifo(report);
    std::ofstream(hold) << "go\n";
    ::close(ours[0]);
    ::close(ours[1]);
    std::filesystem::remove_all(dir);

    std::istringstream lines(seen);
    std::string url;
    std::getline(lines, url);
    EXPECT_EQ(url, "http://10.0.0.1/");
    std::string line;
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
