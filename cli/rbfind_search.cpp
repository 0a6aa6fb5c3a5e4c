#include "cli/rbfind_search.h"

#include "app/search_runners.h"

namespace velmor::cli {

SelectionMode selectionModeOf(const RbfindOptions& options) {
    return options.all ? SelectionMode::all : SelectionMode::window;
}

SearchSettings searchSettingsOf(const RbfindOptions& options) {
    SearchSettings settings;
    settings.timeoutMs = options.timeoutMs;
    settings.localAddresses = options.addresses;
    settings.unicastHosts = options.hosts;
    return settings;
}

SearchResult searchForFirst(DeviceSearch& search, const RbfindOptions& options) {
    if (options.first) {
        return searchUntilFirst(search, searchSettingsOf(options), selectionModeOf(options));
    }
    return search.search(searchSettingsOf(options), {});
}

} // namespace velmor::cli
