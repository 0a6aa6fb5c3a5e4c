#include "protocol/property_reading.h"

namespace velmor {

std::string readText(const boost::property_tree::ptree& tree, const std::string& key,
                     const std::string& fallback) {
    return tree.get<std::string>(key, fallback);
}

std::vector<std::string> readStringList(const boost::property_tree::ptree& tree,
                                        const std::string& key) {
    std::vector<std::string> values;
    if (const auto member = tree.get_child_optional(key)) {
        values.reserve(member->size());
        for (const auto& child : *member) {
            values.push_back(child.second.data());
        }
    }
    return values;
}

} // namespace velmor
