#include "app/qt/finder_window.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QInputDialog>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QShortcut>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>

#include "app/device_details.h"
#include "app/wide_text.h"
#include "cli/diagnosis.h"
#include "net/host_lookup.h"
#include "net/local_subnets.h"
#include "resources/resource_ids.h"

// The logo and icon are compiled into the library; a static library's resources are
// registered by hand.
static void registerFinderResources() {
    Q_INIT_RESOURCE(finder);
}

namespace velmor::qt {

namespace {

// The dialog template: its client size and the log column's controls, in dialog units.
constexpr int templateWidth = 235;
constexpr int templateHeight = 190;

struct ButtonPlace {
    int id;
    const char* text;
    int x;
};

constexpr std::array<ButtonPlace, 4> buttonPlaces{{{IDC_HIDE_LOG, "Hide log", 235},
                                                   {IDC_SEARCH, "Search RBLKs", 465},
                                                   {IDC_CLEAR_LOG, "Clear log", 535},
                                                   {IDC_EXIT, "Exit", 605}}};

} // namespace

FinderMainWindow::FinderMainWindow(std::function<void(int)> quitWith)
    : quitLoop(std::move(quitWith)), logo(this), devicesLabel(this), list(this), logLabel(this),
      log(this), buttons{QPushButton(this), QPushButton(this), QPushButton(this),
                         QPushButton(this)} {
    registerFinderResources();
    setWindowTitle(QStringLiteral("RB Device Finder"));
    // The template's font is a 10-point sans serif; its metrics give the dialog units.
    QFont dialogFont(QStringLiteral("Sans Serif"), 10);
    setFont(dialogFont);
    const QFontMetrics metrics(dialogFont);
    base = dialogBaseUnits(metrics.horizontalAdvance(QStringLiteral(
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
                           metrics.height());

    // Every control and the window itself on white.
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    const QPixmap picture(QStringLiteral(":/rbfinder/logo.png"));
    logo.setPixmap(picture);
    logo.setGeometry(horizontalPixels(5, base), verticalPixels(5, base), picture.width(),
                     picture.height()); // the picture's own size, as SS_REALSIZEIMAGE
    devicesLabel.setText(QStringLiteral("Found devices (double click to open)"));
    place(devicesLabel, 90, 7, 140, 10);
    place(list, 90, 18, 140, 167);
    placeLogColumn();
    connectDeviceList();
    // The log column lies beyond the right edge until "Show log" widens the window.
    setFixedSize(horizontalPixels(templateWidth, base), verticalPixels(templateHeight, base));

    // Linux window managers own the title bar's menu, so "Show log" is offered in the
    // window's context menu (with "Close", as the system menu ends) and as Ctrl+L.
    auto* showLog = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    QObject::connect(showLog, &QShortcut::activated, this, [this] { systemCommand(IDM_SHOW_LOG); });
}

void FinderMainWindow::placeLogColumn() {
    logLabel.setText(QStringLiteral("Action log"));
    place(logLabel, 235, 7, 50, 10);
    place(log, 235, 18, 430, 147);
    log.setReadOnly(true);
    log.setUndoRedoEnabled(false);
    log.setLineWrapMode(QPlainTextEdit::NoWrap);
    // The dialog has no keyboard navigation: Tab must not reach the log column (which lies
    // beyond the window's edge while the log is hidden), and Space must not press an
    // unseen "Exit". The mouse still clicks the buttons and selects in the pane.
    log.setFocusPolicy(Qt::NoFocus);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        buttons[i].setFocusPolicy(Qt::NoFocus);
        buttons[i].setText(QString::fromLatin1(buttonPlaces[i].text));
        place(buttons[i], buttonPlaces[i].x, 170, 60, 15);
        QObject::connect(&buttons[i], &QPushButton::clicked, this, [this, i] {
            if (controller != nullptr) {
                controller->command(buttonPlaces[i].id);
            }
        });
    }
}

void FinderMainWindow::connectDeviceList() {
    // The rows' tooltips, also while another window has the focus.
    list.viewport()->installEventFilter(this);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    QObject::connect(&list, &QListWidget::itemDoubleClicked, this, [this] {
        if (controller != nullptr) {
            controller->command(IDC_DEVICE_LIST, listDoubleClick);
        }
    });
}

void FinderMainWindow::place(QWidget& widget, int x, int y, int cx, int cy) {
    widget.setGeometry(horizontalPixels(x, base), verticalPixels(y, base),
                       horizontalPixels(cx, base), verticalPixels(cy, base));
}

LogColumnWidths FinderMainWindow::logColumnWidths() const {
    const QRect listRect = list.geometry();
    const QRect logRect = log.geometry();
    return measureLogColumnWidths(0, width(), listRect.x() + listRect.width(),
                                  logRect.x() + logRect.width());
}

QPushButton& FinderMainWindow::button(int id) {
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (buttonPlaces[i].id == id) {
            return buttons[i];
        }
    }
    return buttons.back();
}

void FinderMainWindow::showLogColumn(bool shown, int width) {
    for (QWidget* control : {static_cast<QWidget*>(&logLabel), static_cast<QWidget*>(&log)}) {
        control->setVisible(shown);
    }
    for (QPushButton& pushButton : buttons) {
        pushButton.setVisible(shown);
    }
    // A fixed size keeps the position and the height.
    setFixedSize(width, height());
}

void FinderMainWindow::postCommand(int commandId) {
    QMetaObject::invokeMethod(
        this,
        [this, commandId] {
            if (controller != nullptr) {
                controller->command(commandId);
            }
        },
        Qt::QueuedConnection);
}

void FinderMainWindow::destroy() {
    if (destroyed) {
        return;
    }
    destroyed = true;
    gui.close(); // the worker and capture threads no longer wait for this thread
    hide();
    if (controller != nullptr) {
        controller->destroyed();
    }
}

void FinderMainWindow::quit(int exitCode) {
    quitLoop(exitCode);
}

void FinderMainWindow::closeEvent(QCloseEvent* event) {
    // The close box and Alt+F4 are the close command; the window goes by destroy().
    event->ignore();
    systemCommand(systemCommandClose);
}

void FinderMainWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    fillContextMenu(menu, event->globalPos());
    menu.exec(event->globalPos());
}

void FinderMainWindow::fillContextMenu(QMenu& menu, const QPoint& globalPos) {
    const QPoint inList = list.viewport()->mapFromGlobal(globalPos);
    if (list.viewport()->rect().contains(inList)) {
        if (const QListWidgetItem* item = list.itemAt(inList); item != nullptr) {
            addRowActions(menu, list.row(item));
        }
    }
    menu.addAction(QStringLiteral("Ask a host..."), this, [this] { askHost(); });
    menu.addAction(QStringLiteral("Why is nothing listed?"), this, [this] { showDiagnosis(); });
    menu.addAction(QStringLiteral("Show log"), this, [this] { systemCommand(IDM_SHOW_LOG); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Close"), this, [this] { systemCommand(systemCommandClose); });
}

void FinderMainWindow::askHost() {
    QString text;
    for (;;) {
        bool accepted = false;
        text = QInputDialog::getText(this, QStringLiteral("Ask a host"),
                                     QStringLiteral("IPv4 address or name of an instrument that "
                                                    "multicast does not reach:"),
                                     QLineEdit::Normal, text, &accepted);
        if (!accepted || text.trimmed().isEmpty()) {
            return;
        }
        const std::string problem = addHost(text.trimmed().toStdString());
        if (problem.empty()) {
            return;
        }
        QMessageBox::warning(this, QStringLiteral("Ask a host"), QString::fromStdString(problem));
    }
}

std::string FinderMainWindow::diagnosisText() const {
    if (controller == nullptr) {
        return {};
    }
    const LastSearch last = controller->lastSearch();
    if (!last.searched) {
        return "No search has finished yet.\n";
    }
    cli::Diagnosis diagnosis = cli::diagnose(last.statistics, last.servers, SelectionMode::window,
                                             last.listed, false, enumerateLocalSubnets());
    // A host asked by unicast answered over a route: it is within reach.
    const std::vector<std::string> asked = controller->deviceList().hosts();
    std::erase_if(diagnosis.reachability, [&asked](const cli::ReachabilityFinding& finding) {
        return std::find(asked.begin(), asked.end(), finding.subject) != asked.end();
    });
    return cli::diagnosisText(diagnosis);
}

void FinderMainWindow::showDiagnosis() {
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Why is nothing listed?"));
    QVBoxLayout layout(&dialog);
    QPlainTextEdit report(&dialog);
    report.setReadOnly(true);
    report.setLineWrapMode(QPlainTextEdit::WidgetWidth);
    report.setPlainText(QString::fromStdString(diagnosisText()));
    report.setMinimumSize(horizontalPixels(320, base), verticalPixels(160, base));
    QDialogButtonBox closeAndCopy(QDialogButtonBox::Close, &dialog);
    QPushButton* copy =
        closeAndCopy.addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
    QObject::connect(copy, &QPushButton::clicked, &dialog,
                     [&report] { QGuiApplication::clipboard()->setText(report.toPlainText()); });
    QObject::connect(&closeAndCopy, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout.addWidget(&report);
    layout.addWidget(&closeAndCopy);
    dialog.exec();
}

FinderMainWindow::~FinderMainWindow() {
    list.viewport()->removeEventFilter(this);
}

bool FinderMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && watched == list.viewport()) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QListWidgetItem* item = list.itemAt(help->pos());
        const QString text =
            item != nullptr ? QString::fromStdString(rowDetails(list.row(item))) : QString();
        if (text.isEmpty()) {
            QToolTip::hideText();
        } else {
            // As plain text: a record's bytes must not be read as markup.
            QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(text.trimmed()),
                               list.viewport());
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

std::string FinderMainWindow::rowDetails(int row) {
    if (controller == nullptr) {
        return {};
    }
    const std::optional<DeviceEntry> entry = controller->entryForRow(row);
    return entry ? deviceDetailsText(*entry, controller->lastSearch().servers) : std::string();
}

std::string FinderMainWindow::addHost(const std::string& host) {
    HostLookup lookup = lookUpHosts({host});
    if (!lookup.error.empty()) {
        return lookup.error;
    }
    if (controller != nullptr) {
        for (const std::string& address : lookup.addresses) {
            controller->addHost(address);
        }
    }
    return {};
}

void FinderMainWindow::addRowActions(QMenu& menu, int row) {
    // The row is chosen as a click would choose it, then opened as a double click opens
    // it, log line included.
    menu.addAction(QStringLiteral("Open web page"), this, [this, row] {
        list.setCurrentRow(row);
        if (controller != nullptr) {
            controller->command(IDC_DEVICE_LIST, listDoubleClick);
        }
    });
    // The texts of the row's device as the table holds them: each character back to the
    // record's byte, read as UTF-8.
    const auto copy = [this, row](std::u16string DeviceEntry::*text) {
        if (controller == nullptr) {
            return;
        }
        if (const std::optional<DeviceEntry> entry = controller->entryForRow(row)) {
            QGuiApplication::clipboard()->setText(
                QString::fromStdString(narrowText((*entry).*text)));
        }
    };
    menu.addAction(QStringLiteral("Copy address"), this, [copy] { copy(&DeviceEntry::address); });
    menu.addAction(QStringLiteral("Copy serial"), this, [copy] { copy(&DeviceEntry::serial); });
    menu.addSeparator();
}

void FinderMainWindow::systemCommand(int id) {
    if (controller != nullptr) {
        controller->systemCommand(id);
    }
}

} // namespace velmor::qt
