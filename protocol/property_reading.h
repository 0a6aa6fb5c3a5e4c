// Forgiving readers of one member of a parsed JSON object. A key is looked up as a
// direct child; when it occurs more than once, the first occurrence in document order
// is used. None of them fails: a missing or unconvertible member gives the default.
#pragma once

#include <string>
#include <vector>

#include <boost/property_tree/ptree.hpp>

namespace velmor {

// The member's text as the tree holds it ("" for an object or array, "true", "null" and
// numbers as written), or `fallback` when the member is missing.
std::string readText(const boost::property_tree::ptree& tree, const std::string& key,
                     const std::string& fallback = {});

// The property tree's typed read: the whole text, bar surrounding white space, must
// convert to T; anything else gives `fallback`. For bool, "0"/"1" and then
// "true"/"false" are accepted.
template <typename T>
T readValue(const boost::property_tree::ptree& tree, const std::string& key, T fallback) {
    return tree.get<T>(key, fallback);
}

// The values of all children of the first member `key`, in document order, whatever
// their keys; a child that is itself an object or array gives "". A member holding a
// plain text has no children and gives an empty list.
std::vector<std::string> readStringList(const boost::property_tree::ptree& tree,
                                        const std::string& key);

} // namespace velmor
