#include "discovery/multicast_discovery_interface.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

#include <boost/asio/ip/multicast.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/socket_base.hpp>
#include <boost/exception/diagnostic_information.hpp>
#include <boost/system/system_error.hpp>

#include <KVLogger>

#include "discovery/datagram_read.h"
#include "protocol/answer_processing.h"

namespace velmor {

namespace asio = boost::asio;
using asio::ip::udp;
using logging::LogMessage;

namespace {

bool isLoopbackAddress(const asio::ip::address& address) {
    return address.is_loopback();
}

} // namespace

MulticastDiscoveryInterface::MulticastDiscoveryInterface(asio::io_context& ioContext,
                                                         const asio::ip::address& localAddress,
                                                         std::uint64_t hops,
                                                         const DiscoveryRequest* searchRequest)
    : socket(ioContext), localEndpoint(localAddress, 0), senderEndpoint(),
      destination(asio::ip::make_address(isLoopbackAddress(localAddress) ? loopbackDestination
                                                                         : multicastGroup)),
      request(searchRequest), multicastHops(hops) {}

MulticastDiscoveryInterface::MulticastDiscoveryInterface(asio::io_context& ioContext,
                                                         const asio::ip::address& localAddress,
                                                         const asio::ip::address& host,
                                                         const DiscoveryRequest* searchRequest)
    : socket(ioContext), localEndpoint(localAddress, 0), senderEndpoint(), destination(host),
      request(searchRequest), multicastHops(1) {}

MulticastDiscoveryInterface::~MulticastDiscoveryInterface() {
    boost::system::error_code ignored;
    socket.close(ignored);
}

void MulticastDiscoveryInterface::open() {
    try {
        socket.open(localEndpoint.protocol());
        if (multicastHops > 1) {
            socket.set_option(asio::ip::multicast::hops(static_cast<int>(multicastHops & 0xFF)));
        }
        socket.set_option(asio::socket_base::reuse_address(true));
        socket.set_option(asio::socket_base::receive_buffer_size(kernelReceiveBufferSize));
        socket.bind(localEndpoint);
        // Reads after a completion must not wait for more datagrams.
        socket.non_blocking(true);
        startReceive();
    } catch (const boost::system::system_error& error) {
        LogMessage(logging::error) << "Failed to bind socket for discovery on interface "
                                   << localEndpoint << ": " << error.what();
        openFailure = error.code().message();
        socket.close();
    } catch (...) {
        LogMessage(logging::error) << "Failed to bind socket for discovery: "
                                   << boost::current_exception_diagnostic_information(true);
        openFailure = "unknown error";
    }
}

bool MulticastDiscoveryInterface::isOpen() const {
    return socket.is_open();
}

bool MulticastDiscoveryInterface::send(std::uint16_t port) {
    answers.clear();
    unparsed.clear();
    answerBudget.reset(request->id);
    receptionCounts = ReceptionCounts{};
    const udp::endpoint target(destination, port);
    const std::string text = serializeDiscoveryRequest(*request);
    boost::system::error_code error;
    socket.send_to(asio::buffer(text), target, 0, error);
    if (error) {
        LogMessage(logging::warning) << "Failed to send discovery request: " << error.message();
        sendFailure = error.message();
        return false;
    }
    sendFailure.clear();
    return true;
}

void MulticastDiscoveryInterface::close() {
    socket.close();
}

void MulticastDiscoveryInterface::abandon() noexcept {
    answerObserver = nullptr;
    unparsed.clear(); // ends the parsing handlers at their next turn
    boost::system::error_code ignored;
    socket.close(ignored);
}

bool MulticastDiscoveryInterface::isLoopback() const {
    return isLoopbackAddress(localEndpoint.address());
}

void MulticastDiscoveryInterface::processAnswers() {
    std::list<DeviceInfo> devices;
    std::list<ServerInfo> servers;
    for (AnswerRecords& records : answers) {
        devices.splice(devices.end(), records.devices);
        servers.splice(servers.end(), records.servers);
    }
    answers.clear();
    deviceList = std::move(devices);
    serverList = std::move(servers);
}

void MulticastDiscoveryInterface::setAnswerObserver(
    std::function<void(const std::list<ServerInfo>&)> observer) {
    answerObserver = std::move(observer);
}

void MulticastDiscoveryInterface::startReceive() {
    receiving = true;
    socket.async_receive_from(
        asio::buffer(receiveBuffer), senderEndpoint,
        [self = shared_from_this()](const boost::system::error_code& status, std::size_t bytes) {
            self->onReceive(status, bytes);
        });
}

namespace {

// What a failed receive means for the socket: a datagram to skip, or the end of listening.
enum class ReceiveFailure { skipped, fatal };

ReceiveFailure classifyReceiveFailure(const boost::system::error_code& status) {
    namespace error = asio::error;
    // Windows answers an earlier send's ICMP port unreachable by failing a receive with
    // "connection reset" or "refused": that costs one receive, not the socket.
    if (status == error::connection_reset || status == error::connection_refused ||
        status == error::network_reset) {
        return ReceiveFailure::skipped;
    }
    // Closed (operation aborted) or an error that would repeat on every receive.
    return ReceiveFailure::fatal;
}

// Windows may complete the receive of a datagram longer than the buffer with "message
// too long" (Boost 1.74 turns that into success with the buffer's size): its start is in
// the buffer, the rest dropped, so it is a datagram that filled the buffer.
bool filledTheBuffer(const boost::system::error_code& status) {
    return status == asio::error::message_size;
}

} // namespace

bool MulticastDiscoveryInterface::skipFailedReceive(const boost::system::error_code& status) {
    return classifyReceiveFailure(status) == ReceiveFailure::skipped && socket.is_open();
}

void MulticastDiscoveryInterface::onReceive(const boost::system::error_code& status,
                                            std::size_t bytes) {
    receiving = false;
    if (filledTheBuffer(status)) {
        bytes = receiveBuffer.size();
    } else if (status) {
        if (skipFailedReceive(status)) {
            startReceive();
        }
        return;
    }
    // The completed datagram came first; what waits behind it is read before the next
    // receive can take any of it.
    take(bytes);
    readWaiting();
    scheduleParsing();
    startReceive();
}

void MulticastDiscoveryInterface::readWaiting() {
    for (std::size_t read = 0; read < maxReadsAtOnce; ++read) {
        boost::system::error_code error;
        const std::size_t length =
            readWaitingDatagram(socket, asio::buffer(receiveBuffer), senderEndpoint, error);
        if (error) {
            if (error != asio::error::would_block && skipFailedReceive(error)) {
                continue;
            }
            break; // nothing waiting, closed, or an error the next receive reports
        }
        take(length);
    }
}

bool MulticastDiscoveryInterface::datagramsWaiting() const {
    if (!receiving) {
        return false; // nothing would read them
    }
    boost::system::error_code error;
    // The size of the next datagram: an empty one goes unseen, which only lets parsing
    // go first.
    const std::size_t bytes = socket.available(error);
    return !error && bytes > 0;
}

bool MulticastDiscoveryInterface::searchDatagramsWaiting() const {
    if (searchShared == nullptr) {
        return datagramsWaiting();
    }
    const auto& sockets = searchShared->sockets;
    return std::any_of(sockets.begin(), sockets.end(),
                       [](const auto& other) { return other->datagramsWaiting(); });
}

std::size_t* MulticastDiscoveryInterface::searchRecordsLeft() const {
    return searchShared == nullptr ? nullptr : &searchShared->recordsLeft;
}

void MulticastDiscoveryInterface::take(std::size_t bytes) {
    ++receptionCounts.received;
    if (bytes == 0) {
        return;
    }
    // No answer is longer than receiveBufferSize; a longer datagram is kept as far as
    // that and handled as any other: a whole answer with a line feed after it still
    // counts, one cut inside its JSON does not parse.
    if (bytes > receiveBufferSize) {
        ++receptionCounts.cut;
        bytes = receiveBufferSize;
    }
    // A datagram that does not begin with "{" cannot be an answer. It is skipped and
    // reception goes on, so one stray datagram cannot hide the answers behind it.
    if (receiveBuffer[0] != '{') {
        ++receptionCounts.notJson;
        return;
    }
    const std::string_view payload(receiveBuffer.data(), bytes);
    std::string sender = senderEndpoint.address().to_string();
    if (answerBudget.admit(payload, sender, searchRecordsLeft())) {
        unparsed.push_back(ReceivedAnswer{std::move(sender), std::string(payload)});
    }
}

void MulticastDiscoveryInterface::scheduleParsing() {
    if (parsingScheduled || unparsed.empty()) {
        return;
    }
    parsingScheduled = true;
    // Reading comes first: a datagram is parsed only when none waits in a socket's
    // kernel buffer, which a burst of answers would otherwise overflow while parsing
    // goes on. The waiting datagrams are left to their sockets' own receives.
    asio::post(socket.get_executor(), [self = shared_from_this()] {
        self->parsingScheduled = false;
        if (!self->searchDatagramsWaiting()) {
            self->parseOne();
        }
        self->scheduleParsing();
    });
}

void MulticastDiscoveryInterface::parseOne() {
    if (unparsed.empty()) {
        return;
    }
    const ReceivedAnswer received = std::move(unparsed.front());
    unparsed.pop_front();
    AnswerRecords records;
    switch (processAnswer(received, *request, records)) {
    case AnswerVerdict::notJson:
        ++receptionCounts.notJson;
        return;
    case AnswerVerdict::notAnAnswer:
        ++receptionCounts.notAnAnswer;
        return;
    case AnswerVerdict::otherRequest:
        ++receptionCounts.otherRequest;
        return;
    case AnswerVerdict::accepted:
        break;
    }
    if (!answerBudget.admitRecords(records.recordCount(), searchRecordsLeft())) {
        return;
    }
    ++receptionCounts.accepted;
    if (records.version != DiscoveryProtocolVersion) {
        ++receptionCounts.otherVersion;
    }
    answers.push_front(std::move(records));
    if (answerObserver) {
        answerObserver(answers.front().servers);
    }
}

} // namespace velmor
