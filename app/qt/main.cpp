// rb-device-finder: the finder's window on Linux.
#include <QApplication>
#include <QIcon>

#include <KVLogger>

#include "app/desktop_opener.h"
#include "app/device_search.h"
#include "app/finder_session.h"
#include "app/qt/finder_window.h"
#include "app/qt/qt_controls.h"
#include "app/qt/qt_messages.h"
#include "app/qt/window_arguments.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace velmor;
    logging::setLogLevel(logging::warning);
    QApplication application(argc, argv);
    application.setWindowIcon(QIcon(QStringLiteral(":/rbfinder/icon-64.png")));
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments().mid(1)) {
        arguments.push_back(argument.toStdString());
    }
    const qt::WindowArguments given = qt::parseWindowArguments(arguments);
    if (!given.error.empty()) {
        std::fprintf(stderr, "rb-device-finder: %s\n", given.error.c_str());
        return 2;
    }

    qt::FinderMainWindow window([&application](int status) { application.exit(status); });
    qt::QtDeviceList list(window.deviceList(), window.gate());
    qt::QtLogControl log(window.logPane(), window.gate());
    DesktopOpener opener;
    qt::QtTimer timer;
    MulticastDeviceSearch search;
    FinderSession session(window, list, log, opener, timer, search);
    window.attach(&session.controller());
    for (const std::string& host : given.hosts) {
        session.controller().addHost(host);
    }
    session.start(window.logColumnWidths());
    int status = 0;
    {
        // Qt's own messages go to the log directly: written to the captured standard
        // error by this thread, a full pipe would wait for the reader, which waits for
        // this thread.
        const qt::QtMessagesToLog messages(session.actionLog());
        window.show();
        status = application.exec();
    }

    window.attach(nullptr); // no event served from here on reaches the controller
    session.end(
        [&window](const std::function<void()>& ending) { qt::closeAndEnd(window.gate(), ending); });
    return status;
}
