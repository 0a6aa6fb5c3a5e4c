// Reading a program's arguments one option at a time, the one way rbfind and rbsim read
// them: "--name VALUE" or "--name=VALUE" for a value, flags without one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmor::cmdline {

// A command line that cannot be used; what() is the message for the user.
class ArgumentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Walks the arguments after the program name. The caller steps with next(), compares
// name() with its options and takes what each needs: value(), optionalValue() or flag().
// Any option may come any number of times; what a repeat means is the caller's.
class ArgumentCursor {
public:
    // How a message names an option: rbfind writes "option '--port'", rbsim "--port".
    using OptionInMessage = std::string (*)(std::string_view name);

    // `arguments` must outlive the cursor.
    ArgumentCursor(const std::vector<std::string>& arguments, OptionInMessage optionInMessage);

    // Steps to the next argument that is not a value already taken. False when none is
    // left: the end of the options. Before a true next(), the accessors below are unusable.
    bool next();

    // The current argument as given.
    const std::string& argument() const { return arguments_[current_]; }
    // Its option name: for "--name=VALUE" the part before the first "=", otherwise the
    // whole argument ("-x=1" is a name of its own).
    const std::string& name() const { return name_; }

    // The value of an option that needs one: the text after "=", or else the next
    // argument, whatever it starts with. Throws ArgumentError "OPTION needs a value" when
    // the arguments end first.
    std::string value();
    // The value of an option that may go without: the text after "=", or else the next
    // argument when there is one that does not start with "-", or else nullopt.
    std::optional<std::string> optionalValue();
    // For an option that takes no value: throws ArgumentError "OPTION takes no value" for
    // "--name=VALUE".
    void flag() const;
    // As flag(), then sets `given`.
    void flag(bool& given) const {
        flag();
        given = true;
    }

private:
    const std::vector<std::string>& arguments_;
    OptionInMessage optionInMessage_;
    std::size_t next_ = 0;    // the first argument not yet read
    std::size_t current_ = 0; // valid after a true next()
    std::string name_;
    std::optional<std::string> inlineValue_; // from "--name=VALUE"
};

// For repeatable options that keep each value once, in the order first given: appends
// `value` unless `values` holds it already.
template <typename T> void appendOnce(std::vector<T>& values, const T& value) {
    if (std::find(values.begin(), values.end(), value) == values.end()) {
        values.push_back(value);
    }
}

} // namespace velmor::cmdline
