// Answers for the Linux and the Windows socket tests, and a burst of them from several
// senders on loopback to one discovery socket: whether the socket stored it newest first.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/udp.hpp>

#include "discovery/multicast_discovery_interface.h"
#include "protocol/discovery_message.h"
#include "support/socket_drain.h"

namespace velmor::testing {

// An answer to the request `id` from one server with `uid`, padded with white space to
// `size` bytes when that is larger.
inline std::string answerText(const std::string& id, const std::string& uid, std::size_t size = 0) {
    std::string text = R"({"request":"kv-discovery-answer","version":"3","id":")" + id +
                       R"(","servers":[{"uid":")" + uid + R"(","type":"dataserver"}])";
    if (text.size() + 1 < size) {
        text.append(size - text.size() - 1, ' ');
    }
    return text + "}";
}

// Sends `count` answers, one server "s<n>" each, round-robin from `senders` sockets on
// 127.0.0.2, 127.0.0.3, ... to a discovery socket on 127.0.0.1 before its first
// completion runs, then ends it as the search does. Gives "newest first" when it stored
// them in the reverse of arrival order, else "uid@sender" of what it stored.
inline std::string storeBurst(std::size_t count, std::size_t senders) {
    namespace asio = boost::asio;
    using asio::ip::udp;
    asio::io_context io;
    const std::string id = "testhost-3d0f8a2e-5b7c-4e19-a6d4-8f2b1c9e0a57";
    const DiscoveryRequest request =
        makeDiscoveryRequest(DiscoveryProtocolVersion, id, RequestFlag::Servers, {}, {});
    const asio::ip::address loopback = asio::ip::make_address("127.0.0.1");
    udp::socket responder(io, udp::endpoint(loopback, 0));
    auto socket = std::make_shared<MulticastDiscoveryInterface>(io, loopback, 1, &request);
    socket->open();
    socket->send(responder.local_endpoint().port());
    std::string received(65536, '\0');
    udp::endpoint client;
    responder.receive_from(asio::buffer(received), client);
    // Each sender's address as a receiver sees it: Wine sends from 127.0.0.1 whatever the
    // loopback address a socket is bound to.
    std::vector<udp::socket> from;
    std::vector<std::string> seenAs;
    for (std::size_t i = 0; i < senders; ++i) {
        from.emplace_back(
            io, udp::endpoint(asio::ip::make_address_v4("127.0.0." + std::to_string(2 + i)), 0));
        from.back().send_to(asio::buffer("probe", 5), responder.local_endpoint());
        udp::endpoint source;
        responder.receive_from(asio::buffer(received), source);
        seenAs.push_back(source.address().to_string());
    }
    std::string newestFirst;
    for (std::size_t n = 0; n < count; ++n) {
        const std::string uid = "s" + std::to_string(n);
        from[n % senders].send_to(asio::buffer(answerText(id, uid)), client);
        newestFirst.insert(0, uid + "@" + seenAs[n % senders] + " ");
    }
    awaitDatagrams(io, socket, count);
    std::string stored;
    for (const ServerInfo& server : closeAndProcess(io, socket)) {
        stored += server.uid + "@" + (server.addresses.empty() ? "" : server.addresses[0]) + " ";
    }
    return stored == newestFirst ? "newest first" : stored;
}

} // namespace velmor::testing
