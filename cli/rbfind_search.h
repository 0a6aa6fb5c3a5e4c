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

} // namespace velmor::cli
