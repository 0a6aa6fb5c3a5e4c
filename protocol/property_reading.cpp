#include "protocol/property_reading.h"

namespace velmor {

boost::property_tree::ptree::path_type memberPath(const std::string& key) {
    return boost::property_tree::ptree::path_type(key, '\0');
}

std::string readText(const boost::property_tree::ptree& tree, const std::string& key,
                     const std::string& fallback) {
    return tree.get<std::string>(memberPath(key), fallback);
}

std::vector<std::string> readStringList(const boost::property_tree::ptree& tree,
                                        const std::string& key) {
    std::vector<std::string> values;
    if (const auto member = tree.get_child_optional(memberPath(key))) {
        values.reserve(member->size());
        for (const auto& child : *member) {
            values.push_back(child.second.data());
        }
    }
    return values;
}

} // namespace velmor
