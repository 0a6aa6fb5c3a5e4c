#include "support/log_capture.h"

#include <boost/make_shared.hpp>

namespace velmor::testing {

LogCapture::LogCapture(logging::Severity minimum) : out(boost::make_shared<std::ostringstream>()) {
    logging::enableLogging(out, minimum);
}

LogCapture::~LogCapture() {
    logging::disableLogging();
}

std::vector<std::string> LogCapture::lines() const {
    std::vector<std::string> result;
    std::istringstream in(out->str());
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

} // namespace velmor::testing
