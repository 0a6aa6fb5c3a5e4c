// Qt's own messages (qWarning and the like) of the GUI thread while the window runs: shown
// in the action log instead of written to standard error, which is the capture's pipe. A
// GUI thread writing into a full pipe would wait for the capture's reader, which waits for
// the GUI thread to take its append. Other threads' messages go Qt's own way: they may
// write into the pipe.
#pragma once

#include <QtGlobal>

#include "app/action_log.h"

namespace velmor::qt {

// Installs the handler for its lifetime, on the GUI thread; one at a time. Messages after
// its end go Qt's own way again, into the pipe while the capture lasts.
class QtMessagesToLog {
public:
    explicit QtMessagesToLog(ActionLog& log);
    ~QtMessagesToLog();
    QtMessagesToLog(const QtMessagesToLog&) = delete;
    QtMessagesToLog& operator=(const QtMessagesToLog&) = delete;

private:
    QtMessageHandler previous;
};

} // namespace velmor::qt
