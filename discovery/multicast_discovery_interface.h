// One discovery socket: bound to one local address, it sends the search's request to
// one destination port and stores every answer that comes back to its own port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <forward_list>
#include <functional>
#include <list>
#include <memory>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/system/error_code.hpp>

#include "discovery/answer_budget.h"
#include "protocol/device_info.h"
#include "protocol/discovery_message.h"
#include "protocol/server_info.h"

namespace velmor {

class MulticastDiscoveryInterface
    : public std::enable_shared_from_this<MulticastDiscoveryInterface> {
public:
    static constexpr const char* multicastGroup = "239.253.1.1";
    static constexpr const char* loopbackDestination = "127.0.0.1";
    static constexpr std::size_t receiveBufferSize = 4096;
    static constexpr int kernelReceiveBufferSize = 204800;

    // `request` is the search's request; it is not owned and must outlive the object.
    MulticastDiscoveryInterface(boost::asio::io_context& ioContext,
                                const boost::asio::ip::address& localAddress,
                                std::uint64_t multicastHops, const DiscoveryRequest* request);
    ~MulticastDiscoveryInterface();
    MulticastDiscoveryInterface(const MulticastDiscoveryInterface&) = delete;
    MulticastDiscoveryInterface& operator=(const MulticastDiscoveryInterface&) = delete;

    // Opens, configures and binds the socket and starts receiving. Failures are logged,
    // not raised; afterwards isOpen() tells whether the socket can be used.
    void open();
    bool isOpen() const;
    // Sends the request once to the destination at `port`; a failure is logged and
    // gives false.
    bool send(std::uint16_t port);
    // Closes the socket, which ends the pending receive.
    void close();
    bool isLoopback() const;
    // Closes the socket without raising and forgets the observer: for a search that is
    // being left because of an error.
    void abandon() noexcept;

    std::list<DeviceInfo>& devices() { return deviceList; }
    std::list<ServerInfo>& servers() { return serverList; }

    // Turns the stored answers into records, replacing devices() and servers().
    void processAnswers();

    void onReceive(const boost::system::error_code& status, std::size_t bytes);

    // Called with each answer as it is stored; the search uses it to stop early.
    void setAnswerObserver(std::function<void(const ReceivedAnswer&)> observer);
    // What the storage bound let through and turned away since the last send.
    const AnswerBudget& budget() const { return answerBudget; }

private:
    void startReceive();

    boost::asio::ip::udp::socket socket;
    boost::asio::ip::udp::endpoint localEndpoint;
    boost::asio::ip::udp::endpoint senderEndpoint;
    boost::asio::ip::address destination;
    std::array<char, receiveBufferSize> receiveBuffer{};
    std::forward_list<ReceivedAnswer> answers;
    const DiscoveryRequest* request;
    std::list<DeviceInfo> deviceList;
    std::list<ServerInfo> serverList;
    std::uint64_t multicastHops;
    AnswerBudget answerBudget;
    std::function<void(const ReceivedAnswer&)> answerObserver;
};

} // namespace velmor
