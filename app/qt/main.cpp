// rb-device-finder: the finder's window on Linux.
#include <QApplication>
#include <QIcon>

#include <KVLogger>

#include <memory>

#include "app/console_capture.h"
#include "app/device_search.h"
#include "app/finder_controller.h"
#include "app/qt/finder_window.h"
#include "app/qt/qt_controls.h"

int main(int argc, char** argv) {
    using namespace velmor;
    logging::setLogLevel(logging::warning);
    QApplication application(argc, argv);
    application.setWindowIcon(QIcon(QStringLiteral(":/rbfinder/icon-64.png")));

    qt::FinderMainWindow window([&application](int status) { application.exit(status); });
    qt::QtDeviceList list(window.deviceList(), window.gate());
    qt::QtLogControl log(window.logPane(), window.gate());
    qt::DesktopOpener opener;
    qt::QtTimer timer;
    MulticastDeviceSearch search;
    auto controller = std::make_unique<FinderController>(window, list, log, opener, timer, search);
    window.attach(controller.get());
    controller->initialise(window.logColumnWidths());
    // After the window exists: the capture's first act writes to the log pane.
    auto capture = std::make_unique<ConsoleCapture>(controller->actionLog());
    capture->start();
    window.show();
    const int status = application.exec();

    // The worker and the capture reader may be waiting for this thread.
    qt::closeAndEnd(window.gate(), [&] {
        controller.reset();
        capture.reset();
    });
    return status;
}
