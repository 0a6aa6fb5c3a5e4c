#include "app/action_log.h"

namespace velmor {

void ActionLog::append(std::u16string_view text, bool addLineEnd) {
    text = text.substr(0, text.find(u'\0'));
    if (text.empty()) {
        return;
    }
    const std::uint64_t length = pane.textLength();
    if (text.size() + length > capacity) {
        pane.setSelection(0, cutLength);
        pane.replaceSelection(u"");
    }
    pane.setSelection(-2, -1); // the end of the text
    pane.replaceSelection(text);
    if (addLineEnd) {
        pane.replaceSelection(u"\r\n");
    }
}

void ActionLog::clear() {
    pane.setText(u"");
}

} // namespace velmor
