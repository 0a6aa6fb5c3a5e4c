#include "protocol/interface_type.h"

#include <algorithm>
#include <map>

#include <boost/algorithm/string/trim.hpp>

namespace velmor {

namespace {

char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

struct AsciiCaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](char x, char y) { return asciiUpper(x) < asciiUpper(y); });
    }
};

const std::map<std::string, InterfaceType, AsciiCaseInsensitiveLess>& interfaceNames() {
    static const std::map<std::string, InterfaceType, AsciiCaseInsensitiveLess> names{
        {"none", InterfaceType::None},
        {"USB", InterfaceType::USB},
        {"1GbE", InterfaceType::GbE},
        {"PCIe", InterfaceType::PCIe},
    };
    return names;
}

} // namespace

InterfaceType parseInterfaceType(const std::string& text) {
    if (text.empty()) {
        return InterfaceType::None;
    }
    const auto& names = interfaceNames();
    const auto found = names.find(boost::algorithm::trim_copy(text));
    return found == names.end() ? InterfaceType::Unknown : found->second;
}

} // namespace velmor
