#include "discovery/datagram_read.h"

namespace velmor {

std::size_t readWaitingDatagram(boost::asio::ip::udp::socket& socket,
                                boost::asio::mutable_buffer buffer,
                                boost::asio::ip::udp::endpoint& sender,
                                boost::system::error_code& error) {
    // The kernel fills the buffer with the start of a longer datagram and gives the
    // buffer's size.
    return socket.receive_from(buffer, sender, 0, error);
}

} // namespace velmor
