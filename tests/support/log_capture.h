#pragma once

#include <sstream>
#include <string>
#include <vector>

#include <KVLogger>

namespace velmor::testing {

// Switches logging on into a string for the lifetime of the object and off again after.
class LogCapture {
public:
    explicit LogCapture(logging::Severity minimum = logging::trace);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Every line written so far, "[severity] message".
    std::vector<std::string> lines() const;

private:
    boost::shared_ptr<std::ostringstream> out;
};

} // namespace velmor::testing
