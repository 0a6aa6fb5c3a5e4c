// The finder's main window in Qt Widgets: the dialog template's controls placed in dialog
// units, events handed to the shell's controller, and the window operations it asks for.
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <functional>
#include <string>

#include "app/dialog_layout.h"
#include "app/finder_controller.h"
#include "app/front_end.h"
#include "app/qt/dialog_units.h"
#include "app/qt/gui_gate.h"

namespace velmor::qt {

class FinderMainWindow : public QWidget, public FinderWindow {
public:
    // `quitWith` ends the event loop with an exit status.
    explicit FinderMainWindow(std::function<void(int)> quitWith);
    // The rows' tooltip filter goes before the widgets: the list's viewport sends events
    // while the list is destroyed.
    ~FinderMainWindow() override;

    // The controller that the window's events go to; set before the window is shown.
    void attach(FinderController* finderController) { controller = finderController; }
    // The widths as the dialog measures them when it is created.
    LogColumnWidths logColumnWidths() const;

    QListWidget& deviceList() { return list; }
    QPlainTextEdit& logPane() { return log; }
    GuiGate& gate() { return gui; }
    QPushButton& button(int id);
    DialogBaseUnits baseUnits() const { return base; }
    // The context menu for a right click at `globalPos`: on a row, the row's actions
    // ("Open web page", "Copy address", "Copy serial"), then "Ask a host...", "Why is
    // nothing listed?", "Show log" and "Close".
    void fillContextMenu(QMenu& menu, const QPoint& globalPos);
    // Asks a host by unicast from the next search on, as "Ask a host..." does once its
    // dialog is answered: `host` is an IPv4 address or a name, resolved at once. Gives
    // the reason it cannot be asked, or nothing.
    std::string addHost(const std::string& host);
    // The diagnosis of the window's latest search, as "Why is nothing listed?" shows it.
    std::string diagnosisText() const;
    // A row's tooltip: its device's record; empty for a row without one.
    std::string rowDetails(int row);

    // FinderWindow
    void showLogColumn(bool shown, int width) override;
    void postCommand(int commandId) override;
    void destroy() override;
    void quit(int exitCode) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place(QWidget& widget, int x, int y, int cx, int cy);
    void placeLogColumn();
    void connectDeviceList();
    void systemCommand(int id);
    void addRowActions(QMenu& menu, int row);
    void askHost();
    void showDiagnosis();

    std::function<void(int)> quitLoop;
    FinderController* controller = nullptr;
    DialogBaseUnits base;
    GuiGate gui{this};
    QLabel logo;
    QLabel devicesLabel;
    QListWidget list;
    QLabel logLabel;
    QPlainTextEdit log;
    std::array<QPushButton, 4> buttons; // Hide log, Search RBLKs, Clear log, Exit
    bool destroyed = false;
};

} // namespace velmor::qt
