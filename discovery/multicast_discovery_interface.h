// One discovery socket: bound to one local address, it sends the search's request to
// one destination port and stores every answer that comes back to its own port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <forward_list>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/system/error_code.hpp>

#include "discovery/answer_budget.h"
#include "discovery/search_shared.h"
#include "discovery/search_statistics.h"
#include "protocol/answer_processing.h"
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
    // A socket that sends its request by unicast to `host` instead.
    MulticastDiscoveryInterface(boost::asio::io_context& ioContext,
                                const boost::asio::ip::address& localAddress,
                                const boost::asio::ip::address& host,
                                const DiscoveryRequest* request);
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

    boost::asio::ip::address localAddress() const { return localEndpoint.address(); }
    boost::asio::ip::address destinationAddress() const { return destination; }
    // Why open() or the last send() failed; empty when they succeeded.
    const std::string& openError() const { return openFailure; }
    const std::string& sendError() const { return sendFailure; }

    std::list<DeviceInfo>& devices() { return deviceList; }
    std::list<ServerInfo>& servers() { return serverList; }

    // Gathers the records of the answers received, newest first, into devices() and
    // servers() (replacing them). Each answer is parsed once, when it arrives.
    void processAnswers();

    void onReceive(const boost::system::error_code& status, std::size_t bytes);
    // Whether a receive that failed cost one datagram only, so that receiving goes on;
    // false when the socket is closed or the error would repeat.
    bool skipFailedReceive(const boost::system::error_code& status);

    // Called with the server records of each answer to the request as it is kept; the
    // search uses it to stop early.
    void setAnswerObserver(std::function<void(const std::list<ServerInfo>&)> observer);
    // Makes this socket one of `search`'s: it reads the waiting datagrams of all the
    // search's sockets (each by its own receives) before it parses, and draws on the
    // search's record allowance. `search` is not owned and must outlive the socket's
    // handlers. A socket that joins no search looks at itself only, with no allowance.
    void joinSearch(SearchShared& search) { searchShared = &search; }
    // What the storage bound let through and turned away since the last send.
    const AnswerBudget& budget() const { return answerBudget; }
    const ReceptionCounts& counts() const { return receptionCounts; }

    // At most this many datagrams are read ahead after one completion, so that other
    // sockets get their turn.
    static constexpr std::size_t maxReadsAtOnce = 256;

private:
    // One byte more than an answer may have, so that a longer datagram shows as such.
    using ReceiveBuffer = std::array<char, receiveBufferSize + 1>;

    void startReceive();
    // Inside this socket's receive completion only, before the next receive starts:
    // reads what waits in the kernel's buffer without waiting, up to maxReadsAtOnce
    // datagrams, and takes each. A pending receive may already hold the next datagram
    // (its completion queued), so reading at any other time would store a later
    // datagram before it.
    void readWaiting();
    // Whether datagrams wait for this socket's pending receive; reads nothing.
    bool datagramsWaiting() const;
    // Whether datagrams wait for any socket of the search, or for this one without one.
    bool searchDatagramsWaiting() const;
    std::size_t* searchRecordsLeft() const;
    // Counts the datagram of `bytes` in receiveBuffer from senderEndpoint, cuts it to
    // receiveBufferSize, and queues it for parsing when it may be an answer and the
    // storage bound lets it through.
    void take(std::size_t bytes);
    // Parses the oldest queued datagram and keeps its records if the bounds allow.
    void parseOne();
    // Posts a handler that parses one queued datagram and posts itself again while more
    // wait; the handler holds the socket, so the search's drain waits for the queue too.
    void scheduleParsing();

    boost::asio::ip::udp::socket socket;
    boost::asio::ip::udp::endpoint localEndpoint;
    boost::asio::ip::udp::endpoint senderEndpoint;
    boost::asio::ip::address destination;
    ReceiveBuffer receiveBuffer{};
    bool receiving = false;              // a receive is pending
    std::deque<ReceivedAnswer> unparsed; // oldest first
    bool parsingScheduled = false;
    std::forward_list<AnswerRecords> answers; // newest first
    const DiscoveryRequest* request;
    std::list<DeviceInfo> deviceList;
    std::list<ServerInfo> serverList;
    std::uint64_t multicastHops;
    AnswerBudget answerBudget;
    SearchShared* searchShared = nullptr; // not owned; null outside a search
    ReceptionCounts receptionCounts;
    std::string openFailure;
    std::string sendFailure;
    std::function<void(const std::list<ServerInfo>&)> answerObserver;
};

} // namespace velmor
