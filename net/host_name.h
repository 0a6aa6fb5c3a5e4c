#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace velmor {

// The computer's network host name as UTF-8. Queried anew on every call.
// Windows 8.1 and later: the wide query, converted from UTF-16 (an empty name is
// returned as it is); on failure, or elsewhere, the narrow query below.
// Throws boost::system::system_error when the narrow query fails with an error number,
// and Boost.Locale's invalid_charset_error when the locale's encoding is unknown.
std::string hostName();

namespace detail {

// The narrow query: fills `buffer` (capacity in bytes, zero-terminated on success) and
// returns 0 on success; on failure returns non-zero and the second function gives the
// error number (0 when the system gives none).
using NarrowHostNameQuery = std::function<int(char* buffer, std::size_t capacity)>;
using LastErrorQuery = std::function<int()>;

// The narrow path shared by every platform: query with a 1024-byte buffer, throw
// system_error for a non-zero error number, convert from the default locale's encoding
// to UTF-8 skipping invalid sequences, and give "unknown" for an empty name.
std::string narrowHostName(const NarrowHostNameQuery& query, const LastErrorQuery& lastError);

} // namespace detail

} // namespace velmor
