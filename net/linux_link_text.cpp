#include "net/linux_link_text.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>

namespace velmor::detail {

namespace {

constexpr std::string_view blanks = " \t\r\v\f";

// Splits off the next blank-separated word of `text`; empty at the end.
std::string_view nextWord(std::string_view& text) {
    const auto start = text.find_first_not_of(blanks);
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(start);
    const auto end = std::min(text.find_first_of(blanks), text.size());
    const std::string_view word = text.substr(0, end);
    text.remove_prefix(end);
    return word;
}

std::optional<std::uint32_t> parseHex(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::string firstSearchDomain(std::string_view stateText) {
    constexpr std::string_view key = "DOMAINS=";
    while (!stateText.empty()) {
        const auto lineEnd = std::min(stateText.find('\n'), stateText.size());
        std::string_view line = stateText.substr(0, lineEnd);
        stateText.remove_prefix(std::min(lineEnd + 1, stateText.size()));
        if (!line.starts_with(key)) {
            continue;
        }
        line.remove_prefix(key.size());
        for (std::string_view domain = nextWord(line); !domain.empty(); domain = nextWord(line)) {
            if (!domain.starts_with('~')) {
                return std::string(domain);
            }
        }
        return {};
    }
    return {};
}

std::string linkDescription(std::string_view interfaceName, std::string_view driver) {
    std::string description(interfaceName);
    if (driver.empty()) {
        return description;
    }
    description.append(" (driver ").append(driver);
    if (driver.starts_with("rndis")) {
        description.append(", RNDIS");
    }
    description.append(")");
    return description;
}

std::vector<Inet6AddressState> parseIfInet6(std::string_view text) {
    std::vector<Inet6AddressState> states;
    while (!text.empty()) {
        const auto lineEnd = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, lineEnd);
        text.remove_prefix(std::min(lineEnd + 1, text.size()));

        // address, interface index, prefix length, scope, flags, interface name
        const std::string_view hexAddress = nextWord(line);
        const std::string_view index = nextWord(line);
        const std::string_view prefixLength = nextWord(line);
        const std::string_view scope = nextWord(line);
        const std::string_view flags = nextWord(line);
        const std::string_view name = nextWord(line);
        if (hexAddress.size() != 32 || !parseHex(index) || !parseHex(prefixLength) ||
            !parseHex(scope) || name.empty()) {
            continue;
        }
        const auto flagBits = parseHex(flags);
        if (!flagBits) {
            continue;
        }
        Inet6AddressState state;
        bool valid = true;
        for (std::size_t i = 0; i < state.address.size() && valid; ++i) {
            const auto byte = parseHex(hexAddress.substr(2 * i, 2));
            valid = byte.has_value();
            state.address[i] = static_cast<std::uint8_t>(byte.value_or(0));
        }
        if (!valid) {
            continue;
        }
        state.interfaceName = std::string(name);
        state.flags = *flagBits;
        states.push_back(std::move(state));
    }
    return states;
}

bool isTransientIpv6(std::uint32_t flags) {
    constexpr std::uint32_t temporary = 0x01;
    constexpr std::uint32_t dadFailed = 0x08;
    constexpr std::uint32_t deprecated = 0x20;
    constexpr std::uint32_t tentative = 0x40;
    return (flags & (temporary | dadFailed | deprecated | tentative)) != 0;
}

} // namespace velmor::detail
