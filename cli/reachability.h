// Why an instrument that answered may still be out of reach, and why nothing may have
// been found, from this computer's subnets and the addresses the answers came from.
// Pure: the subnets and addresses come in, the findings go out.
#pragma once

#include <string>
#include <vector>

#include "net/local_subnets.h"

namespace velmor::cli {

struct ReachabilityFinding {
    enum class Kind {
        unreachable,   // the instrument is in none of this computer's subnets
        linkLocal,     // the instrument is on 169.254.0.0/16 and no local adapter is
        onlyLinkLocal, // an adapter has nothing but a 169.254 address: no DHCP answer
        virtualAdapter // an adapter that is likely virtual or a VPN (told when none found)
    };
    Kind kind = Kind::unreachable;
    std::string subject; // the instrument's address, or the adapter's name
    std::string text;    // what was found and what to do, for a person
};

const char* kindName(ReachabilityFinding::Kind kind);

// `instruments` are the addresses the answers came from, repeats allowed; adapters are
// named as likely virtual only when `nothingListed`.
std::vector<ReachabilityFinding> findReachability(const std::vector<LocalSubnet>& subnets,
                                                  const std::vector<std::string>& instruments,
                                                  bool nothingListed);

} // namespace velmor::cli
