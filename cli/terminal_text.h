// Text from the network shown on a terminal: it must not carry control characters that
// the terminal would act on (escape sequences, carriage returns, bells).
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace velmor::cli {

// `text` with every control character (C0 below 0x20, DEL, and the C1 range U+0080 to
// U+009F that some terminals also obey) written as "\xHH", and every ill-formed UTF-8
// sequence as U+FFFD. Everything else is kept.
std::string terminalSafe(std::string_view text);

// A stream buffer for line-oriented writers such as the log sink: it collects what is
// written and, at each flush, passes it on to `target` made terminal-safe, except that a
// final line feed stays a line feed. Holds at most `limit` bytes between flushes; beyond
// that it passes on what it has.
class TerminalSafeBuffer : public std::streambuf {
public:
    explicit TerminalSafeBuffer(std::ostream& target, std::size_t limit = 65536);

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    void passOn();

    std::ostream& target;
    std::size_t limit;
    std::string pending;
};

// An output stream over its own TerminalSafeBuffer.
class TerminalSafeStream : public std::ostream {
public:
    explicit TerminalSafeStream(std::ostream& target);

private:
    TerminalSafeBuffer buffer;
};

} // namespace velmor::cli
