#include "cmdline/argument_cursor.h"

namespace velmor::cmdline {

ArgumentCursor::ArgumentCursor(const std::vector<std::string>& arguments,
                               OptionInMessage optionInMessage)
    : arguments_(arguments), optionInMessage_(optionInMessage) {}

bool ArgumentCursor::next() {
    if (next_ >= arguments_.size()) {
        return false;
    }
    current_ = next_++;
    const std::string& argument = arguments_[current_];
    const std::size_t equals = argument.find('=');
    if (argument.starts_with("--") && equals != std::string::npos) {
        name_ = argument.substr(0, equals);
        inlineValue_ = argument.substr(equals + 1);
    } else {
        name_ = argument;
        inlineValue_.reset();
    }
    return true;
}

std::string ArgumentCursor::value() {
    if (inlineValue_) {
        return *inlineValue_;
    }
    if (next_ >= arguments_.size()) {
        throw ArgumentError(optionInMessage_(name_) + " needs a value");
    }
    return arguments_[next_++];
}

std::optional<std::string> ArgumentCursor::optionalValue() {
    if (inlineValue_) {
        return inlineValue_;
    }
    // Only an argument that is no option can be the value.
    if (next_ < arguments_.size() && !arguments_[next_].starts_with("-")) {
        return arguments_[next_++];
    }
    return std::nullopt;
}

void ArgumentCursor::flag() const {
    if (inlineValue_) {
        throw ArgumentError(optionInMessage_(name_) + " takes no value");
    }
}

} // namespace velmor::cmdline
