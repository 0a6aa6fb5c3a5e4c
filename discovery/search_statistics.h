// What a discovery search did, socket by socket: for diagnostics and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmor {

// What became of the datagrams a socket received since its send.
struct ReceptionCounts {
    std::size_t received = 0;     // datagrams, empty ones included
    std::size_t cut = 0;          // over 4096 bytes: cut to 4096, then handled as the rest
    std::size_t notJson = 0;      // not beginning with "{", not valid JSON, or too deep
    std::size_t notAnAnswer = 0;  // JSON, but no discovery answer
    std::size_t otherRequest = 0; // an answer to another request
    std::size_t accepted = 0;     // answers to this request whose records are kept
    std::size_t otherVersion = 0; // of the accepted, those naming another protocol version
};

// What one socket of a search did: opened or not, sent or not, what it received.
struct SocketReport {
    std::string localAddress;
    std::string destination; // the multicast group, 127.0.0.1 or a unicast host
    std::uint16_t port = 0;
    bool opened = false;
    std::string openError; // why the socket could not be opened or no route was found
    bool sent = false;
    std::string sendError;
    ReceptionCounts counts;
    std::size_t stored = 0;  // datagrams let through by the storage bound
    std::size_t dropped = 0; // datagrams turned away by the storage or record bound
};

// Counters of the last search, for diagnostics and benchmarks.
struct SearchStatistics {
    std::string requestId;
    std::size_t sockets = 0;      // opened and sent from
    std::size_t requestsSent = 0; // sends that succeeded; 0 means the search failed
    std::size_t receivedDatagrams = 0;
    std::size_t storedAnswers = 0;           // datagrams let through by the storage bound
    std::size_t droppedAnswers = 0;          // datagrams turned away by the storage bound
    std::size_t acceptedAnswers = 0;         // answers to this request whose records are kept
    std::size_t notJson = 0;                 // datagrams skipped as no JSON
    std::size_t notAnAnswer = 0;             // JSON that is no discovery answer
    std::size_t otherRequest = 0;            // answers to another request
    std::size_t cut = 0;                     // datagrams cut to 4096 bytes
    std::vector<SocketReport> socketReports; // in the order the sockets were made
    bool deadlineReached = false;            // the search waited its whole time
    bool stoppedEarly = false;
    bool cancelled = false; // ended by the tuning's stop token
};

} // namespace velmor
