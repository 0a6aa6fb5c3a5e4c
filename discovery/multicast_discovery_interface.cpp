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
    velmor::processAnswers(answers, *request, deviceList, serverList);
}

void MulticastDiscoveryInterface::setAnswerObserver(
    std::function<void(const ReceivedAnswer&)> observer) {
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
    // A datagram that does not begin with "{" cannot be an answer. It is skipped and
    // reception goes on, so one stray datagram cannot hide the answers behind it.
    if (bytes > 0 && receiveBuffer[0] == '{') {
        const std::string_view payload(receiveBuffer.data(), bytes);
        std::string sender = senderEndpoint.address().to_string();
        if (answerBudget.admit(payload, sender)) {
            answers.push_front(ReceivedAnswer{std::move(sender), std::string(payload)});
            if (answerObserver) {
                answerObserver(answers.front());
            }
        }
    }
    startReceive();
}

} // namespace velmor
