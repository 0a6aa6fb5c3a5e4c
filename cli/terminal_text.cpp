#include "cli/terminal_text.h"

#include "protocol/utf8_text.h"

namespace velmor::cli {

namespace {

bool isControl(char32_t codePoint) {
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

} // namespace

std::string terminalSafe(std::string_view text) {
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string safe;
    safe.reserve(text.size());
    std::size_t position = 0;
    while (position < text.size()) {
        const char32_t codePoint = decodeUtf8(text, position);
        if (isControl(codePoint)) {
            safe += "\\x";
            safe.push_back(hexDigits[(codePoint >> 4) & 0xF]);
            safe.push_back(hexDigits[codePoint & 0xF]);
        } else {
            appendUtf8(safe, codePoint);
        }
    }
    return safe;
}

TerminalSafeBuffer::TerminalSafeBuffer(std::ostream& targetStream, std::size_t byteLimit)
    : target(targetStream), limit(byteLimit) {}

TerminalSafeBuffer::int_type TerminalSafeBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
        return traits_type::not_eof(c);
    }
    pending.push_back(traits_type::to_char_type(c));
    if (pending.size() >= limit) {
        passOn();
    }
    return c;
}

std::streamsize TerminalSafeBuffer::xsputn(const char* text, std::streamsize count) {
    for (std::streamsize i = 0; i < count; ++i) {
        overflow(traits_type::to_int_type(text[i]));
    }
    return count;
}

int TerminalSafeBuffer::sync() {
    passOn();
    target.flush();
    return target ? 0 : -1;
}

void TerminalSafeBuffer::passOn() {
    if (pending.empty()) {
        return;
    }
    const bool lineEnd = pending.back() == '\n';
    if (lineEnd) {
        pending.pop_back();
    }
    target << terminalSafe(pending);
    if (lineEnd) {
        target << '\n';
    }
    pending.clear();
}

TerminalSafeStream::TerminalSafeStream(std::ostream& targetStream)
    : std::ostream(nullptr), buffer(targetStream) {
    rdbuf(&buffer);
}

} // namespace velmor::cli
