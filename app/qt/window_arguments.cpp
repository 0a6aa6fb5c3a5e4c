#include "app/qt/window_arguments.h"

#include "cmdline/argument_cursor.h"
#include "net/host_lookup.h"

namespace velmor::qt {

namespace {

std::string optionText(std::string_view name) {
    return "option '" + std::string(name) + "'";
}

} // namespace

WindowArguments parseWindowArguments(const std::vector<std::string>& arguments) {
    WindowArguments parsed;
    std::vector<std::string> hosts;
    try {
        cmdline::ArgumentCursor cursor(arguments, optionText);
        while (cursor.next()) {
            if (cursor.name() != "--host") {
                parsed.error = "unknown argument '" + cursor.argument() +
                               "' (the window takes only --host HOST)";
                return parsed;
            }
            cmdline::appendOnce(hosts, cursor.value());
        }
    } catch (const cmdline::ArgumentError& error) {
        parsed.error = error.what();
        return parsed;
    }
    HostLookup lookup = lookUpHosts(hosts);
    if (!lookup.error.empty()) {
        parsed.error = lookup.error;
        return parsed;
    }
    parsed.hosts = std::move(lookup.addresses);
    return parsed;
}

} // namespace velmor::qt
