// What the sockets of one search share, reached by each socket through one reference.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "discovery/answer_budget.h"

namespace velmor {

class MulticastDiscoveryInterface;

struct SearchShared {
    using SocketList = std::vector<std::shared_ptr<MulticastDiscoveryInterface>>;

    // The search's sockets in the order they were made; each socket looks at all of them
    // before it parses, so that no kernel buffer overflows while parsing goes on.
    SocketList sockets;
    // The record allowance that all sockets of the search draw on.
    std::size_t recordsLeft = AnswerBudget::defaultSearchRecords;
};

} // namespace velmor
