// The way the worker and capture threads reach the widgets: a call onto the GUI thread
// that returns when it is done, served in the order calls arrive, as SendMessageW is.
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <thread>
#include <utility>

namespace velmor::qt {

class GuiGate {
public:
    explicit GuiGate(QObject* guiObject) : context(guiObject) {}

    // Runs `call` on the GUI thread and gives its result; `failed` once the gate is
    // closed, so no thread waits on a GUI thread that no longer serves calls.
    template <typename Result, typename Call> Result run(Result failed, Call call) {
        if (QThread::currentThread() == context->thread()) {
            return isOpen() ? call() : failed;
        }
        if (!isOpen()) {
            return failed;
        }
        Result result = failed;
        QMetaObject::invokeMethod(
            context,
            [this, &result, &call] {
                if (isOpen()) {
                    result = call();
                }
            },
            Qt::BlockingQueuedConnection);
        return result;
    }

    // The same for calls without a result.
    template <typename Call> void run(Call call) {
        run(0, [&call] {
            call();
            return 0;
        });
    }

    // From now on calls fail at once. Calls already queued are still served, or fail, by
    // the events the GUI thread processes after this.
    void close() { opened = false; }
    bool isOpen() const { return opened; }

private:
    QObject* context;
    std::atomic<bool> opened{true};
};

// Closes the gate and runs `ending` (which joins the threads that use it) on another
// thread while this GUI thread serves, or fails, the calls they may be waiting on.
template <typename Ending> void closeAndEnd(GuiGate& gate, Ending ending) {
    gate.close();
    QEventLoop serving;
    std::thread ender([&] {
        ending();
        QMetaObject::invokeMethod(&serving, &QEventLoop::quit, Qt::QueuedConnection);
    });
    serving.exec();
    ender.join();
}

} // namespace velmor::qt
