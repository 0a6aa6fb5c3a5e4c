#include "discovery/multicast_discovery_interface.h"

#include <exception>
#include <string>
#include <utility>

#include <boost/asio/ip/multicast.hpp>
#include <boost/asio/socket_base.hpp>
#include <boost/exception/diagnostic_information.hpp>
#include <boost/system/system_error.hpp>

#include <KVLogger>

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
        startReceive();
    } catch (const boost::system::system_error& error) {
        LogMessage(logging::error) << "Failed to bind socket for discovery on interface "
                                   << localEndpoint << ": " << error.what();
        socket.close();
    } catch (...) {
        LogMessage(logging::error) << "Failed to bind socket for discovery: "
                                   << boost::current_exception_diagnostic_information(true);
    }
}

bool MulticastDiscoveryInterface::isOpen() const {
    return socket.is_open();
}

bool MulticastDiscoveryInterface::send(std::uint16_t port) {
    answers.clear();
    answerBudget.reset(request->id);
    receptionCounts = ReceptionCounts{};
    const udp::endpoint target(destination, port);
    const std::string text = serializeDiscoveryRequest(*request);
    boost::system::error_code error;
    socket.send_to(asio::buffer(text), target, 0, error);
    if (error) {
        LogMessage(logging::warning) << "Failed to send discovery request: " << error.message();
        return false;
    }
    return true;
}

void MulticastDiscoveryInterface::close() {
    socket.close();
}

void MulticastDiscoveryInterface::abandon() noexcept {
    answerObserver = nullptr;
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
    socket.async_receive_from(
        asio::buffer(receiveBuffer), senderEndpoint,
        [self = shared_from_this()](const boost::system::error_code& status, std::size_t bytes) {
            self->onReceive(status, bytes);
        });
}

void MulticastDiscoveryInterface::onReceive(const boost::system::error_code& status,
                                            std::size_t bytes) {
    if (status) {
        return;
    }
    ++receptionCounts.received;
    // A datagram that does not begin with "{" cannot be an answer. It is skipped and
    // reception goes on, so one stray datagram cannot hide the answers behind it.
    if (bytes > 0 && receiveBuffer[0] != '{') {
        ++receptionCounts.notJson;
    } else if (bytes > 0) {
        keep(std::string_view(receiveBuffer.data(), bytes));
    }
    startReceive();
}

void MulticastDiscoveryInterface::keep(std::string_view payload) {
    ReceivedAnswer received{senderEndpoint.address().to_string(), {}};
    if (!answerBudget.admit(payload, received.sender)) {
        return;
    }
    // Parsed at once, so that the end of the search has little left to do.
    received.payload.assign(payload);
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
    if (!answerBudget.admitRecords(records.recordCount(), recordsLeft)) {
        return;
    }
    ++receptionCounts.accepted;
    answers.push_front(std::move(records));
    if (answerObserver) {
        answerObserver(answers.front().servers);
    }
}

} // namespace velmor
