// The bound on what one discovery socket stores during a search.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor {

// Decides which received datagrams a discovery socket keeps. Datagrams wait as raw text
// until they are parsed, so without a bound a flood of datagrams would grow memory for
// the whole search and leave seconds of parsing behind it. Below
// `relaxedBytes` every datagram is kept, which is where a real search always stays.
// Above it only datagrams that carry the request id's text are kept, so junk cannot
// crowd out a real answer that arrives later; nothing is kept beyond `hardBytes`.
//
// Records are bounded as well, because parsing can multiply a datagram's size a
// hundredfold: 4 KB of "{}," become 1,300 server records. A socket keeps at most
// `recordLimit` records (servers, devices and the devices the servers carry), and all
// sockets of a search draw on one allowance; both hold several thousand instruments.
class AnswerBudget {
public:
    static constexpr std::size_t defaultRelaxedBytes = std::size_t{1} << 20;
    static constexpr std::size_t defaultHardBytes = std::size_t{4} << 20;
    static constexpr std::size_t defaultRecordLimit = 16384;
    static constexpr std::size_t defaultSearchRecords = 65536;
    // Charged per stored datagram on top of its bytes: the list node and two strings,
    // so that a flood of one-byte datagrams is bounded as well.
    static constexpr std::size_t entryOverhead = 128;

    explicit AnswerBudget(std::size_t relaxedBytes = defaultRelaxedBytes,
                          std::size_t hardBytes = defaultHardBytes,
                          std::size_t recordLimit = defaultRecordLimit);

    // Starts a new search: nothing charged or dropped, and the UUID at the end of
    // `requestId` is the text that lets a datagram past the relaxed limit.
    void reset(std::string requestId);

    // Whether a datagram of `payload` from `sender` is to be stored; charges it if so and
    // counts it as dropped if not. Once no record can be kept any more (`searchRecordsLeft`,
    // when given, is the search's allowance), nothing is stored: parsing would be wasted.
    bool admit(std::string_view payload, std::string_view sender,
               const std::size_t* searchRecordsLeft = nullptr);

    // The records that the last admitted datagram gave: whether they are kept. If not, the
    // datagram counts as dropped instead of stored. `searchRecordsLeft`, when given, is
    // the search's allowance shared by its sockets, reduced by what is kept.
    bool admitRecords(std::size_t records, std::size_t* searchRecordsLeft);

    std::size_t chargedBytes() const { return charged; }
    std::size_t storedCount() const { return stored; }
    std::size_t droppedCount() const { return dropped; }
    std::size_t recordCount() const { return keptRecords; }

private:
    std::size_t relaxedLimit;
    std::size_t hardLimit;
    std::size_t recordLimit;
    std::size_t keptRecords = 0;
    std::string requestId;
    std::size_t charged = 0;
    std::size_t stored = 0;
    std::size_t dropped = 0;
};

} // namespace velmor
