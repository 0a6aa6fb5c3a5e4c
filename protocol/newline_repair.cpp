#include "protocol/newline_repair.h"

#include <boost/algorithm/string/replace.hpp>
#include <boost/regex.hpp>

namespace velmor {

namespace {

// A quote, any run of non-quotes (line feeds included), the next quote.
const boost::regex& quotedRun() {
    static const boost::regex expression("\\\"([^\\\"]*)\\\"");
    return expression;
}

std::string escapeLineFeeds(const boost::smatch& match) {
    return boost::algorithm::replace_all_copy(match.str(), "\n", "\\n");
}

} // namespace

std::string escapeNewlinesInStrings(const std::string& text) {
    return boost::regex_replace(text, quotedRun(), escapeLineFeeds);
}

} // namespace velmor
