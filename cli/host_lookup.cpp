#include "cli/host_lookup.h"

#include <algorithm>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include "cli/rbfind_options.h"

namespace velmor::cli {

HostLookup lookUpHosts(const std::vector<std::string>& hosts) {
    namespace asio = boost::asio;
    HostLookup lookup;
    asio::io_context io;
    asio::ip::udp::resolver resolver(io);
    for (const std::string& host : hosts) {
        std::string address = host;
        if (!isDottedQuad(host)) {
            boost::system::error_code error;
            const auto results = resolver.resolve(asio::ip::udp::v4(), host, "", error);
            if (error || results.empty()) {
                lookup.error = "cannot resolve host '" + host + "'" +
                               (error ? ": " + error.message() : std::string());
                return lookup;
            }
            address = results.begin()->endpoint().address().to_string();
        }
        if (std::find(lookup.addresses.begin(), lookup.addresses.end(), address) ==
            lookup.addresses.end()) {
            lookup.addresses.push_back(std::move(address));
        }
    }
    return lookup;
}

} // namespace velmor::cli
