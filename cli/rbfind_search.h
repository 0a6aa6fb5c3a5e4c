// One search of rbfind, made as the window makes it.
#pragma once

#include <list>
#include <string>

#include "app/device_selection.h"
#include "cli/rbfind_options.h"
#include "protocol/server_info.h"

namespace velmor::cli {

struct SearchOutcome {
    std::string requestId; // empty when no request was sent (no local address)
    std::list<ServerInfo> servers;
};

SelectionMode selectionModeOf(const RbfindOptions& options);

// One search over the local addresses (only those of --address when given) for
// --timeout milliseconds. With --first it waits on completions and ends at the first
// answer that lists a device to show. Raises what the search raises.
SearchOutcome searchOnce(const RbfindOptions& options);

// With --first: searches again and again, each search sending new requests, until one
// lists a device to show or --timeout milliseconds have passed; a data server answers
// only requests, so an instrument that boots later is found by a later search. Without
// --first: searchOnce().
SearchOutcome searchForFirst(const RbfindOptions& options);

} // namespace velmor::cli
