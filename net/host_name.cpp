#include "net/host_name.h"

#include <array>

#include <boost/locale/encoding.hpp>
#include <boost/locale/generator.hpp>
#include <boost/system/system_error.hpp>

namespace velmor::detail {

std::string narrowHostName(const NarrowHostNameQuery& query, const LastErrorQuery& lastError) {
    std::array<char, 1024> buffer{};
    std::string name;
    if (query(buffer.data(), buffer.size()) != 0) {
        if (const int error = lastError(); error != 0) {
            throw boost::system::system_error(error, boost::system::system_category());
        }
    } else {
        // A name that fills the buffer without a terminator is cut at the buffer's end.
        buffer.back() = '\0';
        name = buffer.data();
    }
    // The narrow name is in the encoding of the user's locale, not necessarily UTF-8.
    const std::locale locale = boost::locale::generator()("");
    name = boost::locale::conv::to_utf<char>(name, locale, boost::locale::conv::skip);
    return name.empty() ? "unknown" : name;
}

} // namespace velmor::detail
