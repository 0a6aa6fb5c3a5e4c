#include "app/finder_session.h"

namespace velmor {

FinderSession::FinderSession(FinderWindow& window, DeviceListControl& list, LogControl& log,
                             PageOpener& opener, PeriodicTimer& timer, DeviceSearch& search,
                             CapturedStreams streams)
    : captured(streams),
      finder(std::make_unique<FinderController>(window, list, log, opener, timer, search)) {}

FinderSession::~FinderSession() {
    endInOrder();
}

void FinderSession::start(LogColumnWidths widths) {
    finder->initialise(widths);
    capture = std::make_unique<ConsoleCapture>(finder->actionLog(), captured);
    capture->start();
}

void FinderSession::end(const ServeWhile& serveWhile) {
    serveWhile([this] { endInOrder(); });
}

void FinderSession::endInOrder() {
    // The reader appends to the controller's log: it stops before the log goes.
    capture.reset();
    finder.reset();
}

} // namespace velmor
