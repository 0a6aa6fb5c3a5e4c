#include "app/qt/qt_messages.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <string>

namespace velmor::qt {

namespace {

std::atomic<ActionLog*> messageLog{nullptr};
std::atomic<QThread*> guiThread{nullptr};
// Qt's handler from before, for what does not go to the log; read by any thread.
std::atomic<QtMessageHandler> fallback{nullptr};
// Set while this thread appends a message, so that a message raised by the append itself
// is dropped instead of recursing.
thread_local bool appending = false;

void toLog(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    ActionLog* log = messageLog.load();
    if (type == QtFatalMsg || log == nullptr || QThread::currentThread() != guiThread.load()) {
        // The process is about to abort, or no log takes it, or the message comes from
        // another thread, which may write into the pipe: Qt's own way.
        if (const QtMessageHandler previous = fallback.load(); previous != nullptr) {
            previous(type, context, message);
        }
        return;
    }
    if (appending) {
        return;
    }
    struct Appending {
        Appending() { appending = true; }
        ~Appending() { appending = false; }
    } guard;
    const QString line = qFormatLogMessage(type, context, message);
    log->append(std::u16string(reinterpret_cast<const char16_t*>(line.utf16()),
                               static_cast<std::size_t>(line.size())),
                true);
}

} // namespace

QtMessagesToLog::QtMessagesToLog(ActionLog& log) {
    // Constructed on the GUI thread; only its messages go to the log, so the log is never
    // written by a message handler after this object has gone.
    guiThread = QThread::currentThread();
    messageLog = &log;
    // Qt's handler goes back in for a moment, so that the fallback is known before any
    // thread can reach toLog().
    previous = qInstallMessageHandler(nullptr);
    Q_ASSERT(previous != toLog); // one at a time: a second would call itself
    fallback = previous;
    qInstallMessageHandler(toLog);
}

QtMessagesToLog::~QtMessagesToLog() {
    qInstallMessageHandler(previous);
    messageLog = nullptr;
    guiThread = nullptr;
}

} // namespace velmor::qt
