#include "app/console_capture.h"

namespace velmor {

void ConsoleCapture::flushStreams() const {
    std::fflush(streams.output);
    std::fflush(streams.error);
}

void ConsoleCapture::announce() const {
    std::setvbuf(streams.output, nullptr, _IONBF, 0);
    std::setvbuf(streams.error, nullptr, _IONBF, 0);
    actionLog.append(u"ConsoleCapture initialized", true);
    std::fprintf(streams.output, "ConsoleCapture successful\n");
}

} // namespace velmor
