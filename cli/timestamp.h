#pragma once

#include <chrono>
#include <string>

namespace velmor::cli {

// "2024-05-01 14:03:07" in local time, for the lines of rbfind --watch.
std::string localTimestamp(std::chrono::system_clock::time_point when);

} // namespace velmor::cli
