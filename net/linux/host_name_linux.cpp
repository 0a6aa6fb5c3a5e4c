#include "net/host_name.h"

#include <cerrno>

#include <unistd.h>

namespace velmor {

// Linux has no wide host-name query: the narrow one is the only path.
std::string hostName() {
    return detail::narrowHostName(
        [](char* buffer, std::size_t capacity) { return ::gethostname(buffer, capacity); },
        [] { return errno; });
}

} // namespace velmor
