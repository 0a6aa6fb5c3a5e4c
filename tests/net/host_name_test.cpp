#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include "net/host_name.h"

namespace velmor {
namespace {

// Sets LC_ALL for one test and restores it afterwards.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) {
        if (const char* old = std::getenv("LC_ALL")) {
            previous = old;
        }
        ::setenv("LC_ALL", name, 1);
    }
    ~ScopedLocale() {
        if (previous) {
            ::setenv("LC_ALL", previous->c_str(), 1);
        } else {
            ::unsetenv("LC_ALL");
        }
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    std::optional<std::string> previous;
};

// A narrow query that succeeds with `name`.
detail::NarrowHostNameQuery answering(std::string name) {
    return [name](char* buffer, std::size_t capacity) {
        const std::size_t length = std::min(name.size(), capacity);
        std::memcpy(buffer, name.data(), length);
        if (length < capacity) {
            buffer[length] = '\0';
        }
        return 0;
    };
}

detail::NarrowHostNameQuery failing() {
    return [](char*, std::size_t) {
        return -1;
    };
}

detail::LastErrorQuery lastError(int number) {
    return [number] {
        return number;
    };
}

TEST(HostName, NarrowQueryResults) {
    ScopedLocale locale("C.UTF-8");
    EXPECT_EQ(detail::narrowHostName(answering("lab-pc"), lastError(0)), "lab-pc");
    EXPECT_EQ(detail::narrowHostName(answering(""), lastError(0)), "unknown");
    EXPECT_EQ(detail::narrowHostName(failing(), lastError(0)), "unknown");
    EXPECT_EQ(detail::narrowHostName(answering(std::string(2000, 'h')), lastError(0)),
              std::string(1023, 'h'))
        << "an unterminated name is cut at the end of the buffer";
}

TEST(HostName, NarrowQueryErrorIsThrownWithItsNumber) {
    try {
        detail::narrowHostName(failing(), lastError(EFAULT));
        FAIL() << "no exception";
    } catch (const boost::system::system_error& e) {
        EXPECT_EQ(e.code().value(), EFAULT);
        EXPECT_EQ(e.code().category(), boost::system::system_category());
    }
}

TEST(HostName, NarrowNameIsConvertedFromTheLocaleEncoding) {
    {
        ScopedLocale locale("en_US.ISO-8859-1");
        EXPECT_EQ(detail::narrowHostName(answering("l\xe4"
                                                   "b"),
                                         lastError(0)),
                  "l\xc3\xa4"
                  "b");
    }
    {
        ScopedLocale locale("C.UTF-8");
        EXPECT_EQ(detail::narrowHostName(answering("l\xc3\xa4"
                                                   "b"),
                                         lastError(0)),
                  "l\xc3\xa4"
                  "b");
        EXPECT_EQ(detail::narrowHostName(answering("a\xff"
                                                   "b"),
                                         lastError(0)),
                  "ab")
            << "invalid sequences are skipped";
        EXPECT_EQ(detail::narrowHostName(answering("\xff\xfe"), lastError(0)), "unknown");
    }
}

TEST(HostName, MatchesTheKernelsNodeName) {
    utsname names{};
    ASSERT_EQ(::uname(&names), 0);
    const std::string nodeName = names.nodename;
    EXPECT_EQ(hostName(), nodeName.empty() ? "unknown" : nodeName);
}

} // namespace
} // namespace velmor
