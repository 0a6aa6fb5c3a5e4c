// One discovery socket's wait for datagrams, and the end of its search as the search
// itself ends it: the socket is closed, its last completions run until nothing else
// holds it, and what it stored is parsed.
#pragma once

#include <chrono>
#include <cstddef>
#include <list>
#include <memory>

#include <boost/asio/io_context.hpp>

#include "discovery/multicast_discovery_interface.h"

namespace velmor::testing {

// Runs the socket's completions until it has received `count` datagrams, empty ones
// included, each turn waiting for the next completion; the give-up only ends the wait
// for a datagram that was lost.
inline void awaitDatagrams(boost::asio::io_context& io,
                           const std::shared_ptr<MulticastDiscoveryInterface>& socket,
                           std::size_t count) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (socket->counts().received < count && std::chrono::steady_clock::now() < giveUp) {
        io.restart();
        io.run_one_until(giveUp);
    }
}

inline const std::list<ServerInfo>&
closeAndProcess(boost::asio::io_context& io,
                const std::shared_ptr<MulticastDiscoveryInterface>& socket) {
    socket->close();
    while (socket.use_count() != 1) {
        io.restart();
        io.poll();
    }
    socket->processAnswers();
    return socket->servers();
}

} // namespace velmor::testing
