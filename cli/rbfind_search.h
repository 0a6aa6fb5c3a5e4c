// rbfind's searches, made by the shell as the window makes them.
#pragma once

#include "app/device_search.h"
#include "app/device_selection.h"
#include "cli/rbfind_options.h"

namespace velmor::cli {

SelectionMode selectionModeOf(const RbfindOptions& options);

// The settings of one search: --timeout, --address and --host (whose names the caller
// has resolved to IPv4 addresses by now).
SearchSettings searchSettingsOf(const RbfindOptions& options);

// One search over the local addresses (only those of --address when given) for
// --timeout milliseconds; with --first, searches until a device to show turns up or the
// timeout ends (searchUntilFirst). Raises what the search raises.
SearchResult searchForFirst(DeviceSearch& search, const RbfindOptions& options);

} // namespace velmor::cli
