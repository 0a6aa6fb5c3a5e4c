#include "discovery/datagram_read.h"

#include <winsock2.h>

#include <boost/asio/error.hpp>

namespace velmor {

std::size_t readWaitingDatagram(boost::asio::ip::udp::socket& socket,
                                boost::asio::mutable_buffer buffer,
                                boost::asio::ip::udp::endpoint& sender,
                                boost::system::error_code& error) {
    // Not through Asio: it takes the "message too long" of a datagram longer than the
    // buffer for success, with a length that Windows need not set (Wine leaves it 0).
    int senderLength = static_cast<int>(sender.capacity());
    const int length = ::recvfrom(socket.native_handle(), static_cast<char*>(buffer.data()),
                                  static_cast<int>(buffer.size()), 0, sender.data(), &senderLength);
    const int code = length == SOCKET_ERROR ? ::WSAGetLastError() : 0;
    if (code != 0 && code != WSAEMSGSIZE) {
        error.assign(code, boost::asio::error::get_system_category());
        return 0;
    }
    error.clear();
    sender.resize(static_cast<std::size_t>(senderLength));
    return code == WSAEMSGSIZE ? buffer.size() : static_cast<std::size_t>(length);
}

} // namespace velmor
