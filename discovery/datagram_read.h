// Reading a datagram that already waits in a UDP socket, with one answer on every
// platform for a datagram longer than the buffer.
#pragma once

#include <cstddef>

#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/system/error_code.hpp>

namespace velmor {

// Reads the next datagram waiting in `socket`, which is in non-blocking mode, into
// `buffer` and its source into `sender`. Gives its length, or the buffer's size for a
// datagram longer than the buffer, whose start the buffer then holds. When nothing was
// read `error` tells why: would_block when no datagram waits.
std::size_t readWaitingDatagram(boost::asio::ip::udp::socket& socket,
                                boost::asio::mutable_buffer buffer,
                                boost::asio::ip::udp::endpoint& sender,
                                boost::system::error_code& error);

} // namespace velmor
