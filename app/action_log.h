// The action log: appends text to the log pane and keeps the pane's size bounded.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/front_end.h"

namespace velmor {

class ActionLog {
public:
    // The pane holds at most this many characters before an append ...
    static constexpr std::uint32_t capacity = 0x100000;
    // ... and loses this many of its oldest when an append would pass the capacity.
    static constexpr std::int32_t cutLength = 0x40000;

    explicit ActionLog(LogControl& control) : pane(control) {}

    // Appends `text` up to its first NUL, then "\r\n" when `addLineEnd` is set. An empty
    // text adds nothing, not even the line end. When the text (without the line end) and
    // the pane together would pass the capacity, the oldest cutLength characters go first,
    // wherever the cut falls. Callable from any thread; takes no lock, so the appends of
    // two threads can interleave step by step.
    void append(std::u16string_view text, bool addLineEnd);

    // Empties the pane ("Clear log").
    void clear();

private:
    LogControl& pane;
};

} // namespace velmor
