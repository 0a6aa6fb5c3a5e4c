// A headless QApplication for the window's tests, made once per process and never
// destroyed: destroying it among the exit handlers, after Qt's own globals, crashes.
#pragma once

#include <QApplication>
#include <QTest>

#include <cstdlib>

namespace velmor::testing {

inline QApplication& headlessApplication() {
    static int argc = 1;
    static char name[] = "rbfinder-window-tests";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

// Serves the GUI thread's events until `done` holds; false if it never does. The bound
// only keeps a broken test from hanging.
template <typename Predicate> bool serveEventsUntil(Predicate done) {
    return QTest::qWaitFor(done, 60'000);
}

} // namespace velmor::testing
