// The end of one discovery socket's search, as the search itself ends it: the socket is
// closed, its last completions run until nothing else holds it, and what it stored is
// parsed.
#pragma once

#include <list>
#include <memory>

#include <boost/asio/io_context.hpp>

#include "discovery/multicast_discovery_interface.h"

namespace velmor::testing {

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
