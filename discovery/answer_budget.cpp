#include "discovery/answer_budget.h"

#include <utility>

namespace velmor {

AnswerBudget::AnswerBudget(std::size_t relaxedBytes, std::size_t hardBytes, std::size_t records)
    : relaxedLimit(relaxedBytes), hardLimit(hardBytes), recordLimit(records) {}

void AnswerBudget::reset(std::string id) {
    // A request id ends in the 36 characters of a UUID. Only that part is looked for: a
    // server may write the host name before it with JSON escapes.
    constexpr std::size_t uuidLength = 36;
    requestId = id.size() > uuidLength ? id.substr(id.size() - uuidLength) : std::move(id);
    charged = 0;
    stored = 0;
    dropped = 0;
    keptRecords = 0;
}

bool AnswerBudget::admit(std::string_view payload, std::string_view sender,
                         const std::size_t* searchRecordsLeft) {
    if (keptRecords >= recordLimit || (searchRecordsLeft != nullptr && *searchRecordsLeft == 0)) {
        ++dropped;
        return false;
    }
    const std::size_t cost = payload.size() + sender.size() + entryOverhead;
    const bool fits = cost <= hardLimit && charged <= hardLimit - cost;
    // An empty id would match everything; past the relaxed limit it lets nothing by.
    const bool relevant = charged + cost <= relaxedLimit ||
                          (!requestId.empty() && payload.find(requestId) != std::string_view::npos);
    if (!fits || !relevant) {
        ++dropped;
        return false;
    }
    charged += cost;
    ++stored;
    return true;
}

bool AnswerBudget::admitRecords(std::size_t records, std::size_t* searchRecordsLeft) {
    const bool fits = records <= recordLimit - keptRecords &&
                      (searchRecordsLeft == nullptr || records <= *searchRecordsLeft);
    if (!fits) {
        // The datagram's bytes stay charged: they bound the parsing as well.
        --stored;
        ++dropped;
        return false;
    }
    keptRecords += records;
    if (searchRecordsLeft != nullptr) {
        *searchRecordsLeft -= records;
    }
    return true;
}

} // namespace velmor
