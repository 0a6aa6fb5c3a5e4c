// The shell's controls over Qt widgets. Calls from other threads go through the gate.
#pragma once

#include <QListWidget>
#include <QPlainTextEdit>
#include <QTimer>

#include "app/front_end.h"
#include "app/qt/gui_gate.h"

namespace velmor::qt {

// The sorted device list over a QListWidget: rows sort by their text as compareRowTexts() orders
// them, and
// the item data lives in the item's user role.
class QtDeviceList : public DeviceListControl {
public:
    QtDeviceList(QListWidget& widget, GuiGate& gate) : list(widget), gui(gate) {}
    int addString(std::u16string_view text) override;
    void setItemData(int index, std::int64_t data) override;
    std::int64_t itemData(int index) override;
    int count() override;
    void deleteString(int index) override;
    int selectedIndex() override;

private:
    QListWidget& list;
    GuiGate& gui;
};

// The log pane over a read-only QPlainTextEdit. Its line break is "\n", so a "\r\n" that
// the shell writes becomes "\n".
class QtLogControl : public LogControl {
public:
    QtLogControl(QPlainTextEdit& widget, GuiGate& gate) : edit(widget), gui(gate) {}
    std::uint32_t textLength() override;
    void setSelection(std::int32_t start, std::int32_t end) override;
    void replaceSelection(std::u16string_view text) override;
    void setText(std::u16string_view text) override;

private:
    QPlainTextEdit& edit;
    GuiGate& gui;
};

// A QTimer on the GUI thread; its ticks run there.
class QtTimer : public PeriodicTimer {
public:
    void start(std::chrono::milliseconds period, std::function<void()> onTick) override;
    // From another thread the stop is queued to the GUI thread.
    void stop() override;

private:
    QTimer timer;
};

} // namespace velmor::qt
