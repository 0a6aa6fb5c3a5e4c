#include "net/host_lookup.h"

#include <algorithm>
#include <string_view>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

namespace velmor {

bool isDottedQuad(const std::string& text) {
    std::string_view rest = text;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = rest.find('.');
        const bool last = part == 3;
        if ((dot == std::string_view::npos) != last) {
            return false;
        }
        const std::string_view digits = rest.substr(0, dot);
        if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits.front() == '0')) {
            return false;
        }
        int value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') {
                return false;
            }
            value = value * 10 + (c - '0');
        }
        if (value > 255) {
            return false;
        }
        rest = last ? std::string_view() : rest.substr(dot + 1);
    }
    return true;
}

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

} // namespace velmor
