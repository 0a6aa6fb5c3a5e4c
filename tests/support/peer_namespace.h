// Child processes for tests, started here or in a second network namespace that is
// linked to the current one by a veth pair. Meant for bodies of runInNewNetworkNamespace
// (support/netns.h): failures throw std::runtime_error, never test assertions.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace velmor::testing {

struct PeerNamespaceConfig {
    std::string localLink = "rbv0";
    std::string localAddress = "10.77.0.1/24"; // with prefix length, as "ip addr add" takes it
    std::string peerLink = "rbv1";
    std::string peerAddress = "10.77.0.2/24";
};

// A started child: its process id and the read end of the pipe that carries its
// standard output and standard error (or its standard output only, with the read end
// of a second pipe for standard error). The caller owns them all: it must read or close
// the pipes and reap the child. The child is killed when the thread that started it ends, so
// that a test killed on a timeout leaves no process behind.
struct ChildProcess {
    int pid = -1; // a pid_t on Linux
    int outputFd = -1;
    int errorFd = -1; // only with ErrorOutput::separate
};

enum class ErrorOutput { merged, separate };

// Starts `command` (the program path first, then its arguments) in the current network
// namespace. Throws when it cannot be run.
ChildProcess spawnProcess(const std::vector<std::string>& command,
                          ErrorOutput errors = ErrorOutput::merged);

// Reaps child `pid` into `status` (as waitpid gives it); false when it still runs at
// `deadline`.
bool waitForExit(int pid, std::chrono::steady_clock::time_point deadline, int& status);

// Kills child `pid` and reaps it; gives its wait status.
int killAndReap(int pid);

// Starts `command` in a fresh network namespace. Before the command runs, a veth pair
// joins the two namespaces: config.localLink here gets config.localAddress and is set
// up, config.peerLink there gets config.peerAddress and is set up, and so is the peer's
// loopback link. Returns once the local link is up and running, which needs both ends
// up. The peer namespace lives as long as the command does; when it exits, the
// namespace and the pair go away (shortly after: a later call with the same local link
// name waits up to 5 s for the old link to vanish). Only for use inside a namespace the test made:
// the pair is created in the current namespace.
ChildProcess spawnInPeerNamespace(const std::vector<std::string>& command,
                                  const PeerNamespaceConfig& config = {});

} // namespace velmor::testing
