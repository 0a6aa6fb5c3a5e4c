#include "app/qt/qt_controls.h"

#include <QString>
#include <QTextCursor>
#include <QThread>

#include <algorithm>

#include "app/device_selection.h"

namespace velmor::qt {

namespace {

QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// The pane's own line break.
QString withPaneLineBreaks(std::u16string_view text) {
    QString converted = toQString(text);
    converted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return converted;
}

} // namespace

int QtDeviceList::addString(std::u16string_view text) {
    return gui.run(listError, [this, row = toQString(text)] {
        const auto utf16 = [](const QString& string) {
            return std::u16string_view(reinterpret_cast<const char16_t*>(string.utf16()),
                                       static_cast<std::size_t>(string.size()));
        };
        // In the shell's row order, behind its equals.
        int low = 0;
        int high = list.count();
        while (low < high) {
            const int middle = low + (high - low) / 2;
            if (compareRowTexts(utf16(list.item(middle)->text()), utf16(row)) <= 0) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        list.insertItem(low, row);
        return low;
    });
}

void QtDeviceList::setItemData(int index, std::int64_t data) {
    gui.run([this, index, data] {
        if (QListWidgetItem* item = list.item(index)) {
            item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(data));
        }
    });
}

std::int64_t QtDeviceList::itemData(int index) {
    return gui.run(std::int64_t{listError}, [this, index]() -> std::int64_t {
        const QListWidgetItem* item = list.item(index);
        return item != nullptr ? item->data(Qt::UserRole).toLongLong() : listError;
    });
}

int QtDeviceList::count() {
    return gui.run(listError, [this] { return list.count(); });
}

void QtDeviceList::deleteString(int index) {
    gui.run([this, index] { delete list.takeItem(index); });
}

int QtDeviceList::selectedIndex() {
    return gui.run(listError, [this] {
        const QListWidgetItem* item = list.currentItem();
        return item != nullptr && item->isSelected() ? list.row(item) : listError;
    });
}

std::uint32_t QtLogControl::textLength() {
    return gui.run(std::uint32_t{0}, [this] {
        return static_cast<std::uint32_t>(std::max(0, edit.document()->characterCount() - 1));
    });
}

void QtLogControl::setSelection(std::int32_t start, std::int32_t end) {
    gui.run([this, start, end] {
        const int length = std::max(0, edit.document()->characterCount() - 1);
        const auto clamp = [length](std::int32_t position) {
            return position < 0 || position > length ? length : position;
        };
        QTextCursor cursor(edit.document());
        cursor.setPosition(clamp(start));
        cursor.setPosition(clamp(end), QTextCursor::KeepAnchor);
        edit.setTextCursor(cursor);
    });
}

void QtLogControl::replaceSelection(std::u16string_view text) {
    gui.run([this, replacement = withPaneLineBreaks(text)] {
        QTextCursor cursor = edit.textCursor();
        cursor.insertText(replacement);
        edit.setTextCursor(cursor); // the caret behind the new text, kept in view
    });
}

void QtLogControl::setText(std::u16string_view text) {
    gui.run([this, replacement = withPaneLineBreaks(text)] { edit.setPlainText(replacement); });
}

void QtTimer::start(std::chrono::milliseconds period, std::function<void()> onTick) {
    timer.disconnect();
    QObject::connect(&timer, &QTimer::timeout, [tick = std::move(onTick)] { tick(); });
    timer.start(period);
}

void QtTimer::stop() {
    if (QThread::currentThread() == timer.thread()) {
        timer.stop();
    } else {
        QMetaObject::invokeMethod(
            &timer, [this] { timer.stop(); }, Qt::QueuedConnection);
    }
}

} // namespace velmor::qt
