// rbfinder-info: shows what a discovery search would start from on this computer: the
// host name, the local addresses searched from, and the request sent from each. It
// sends nothing.
//
// Exit status: 0 on success, 1 when the environment could not be read, 2 on bad usage.
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include <KVLogger>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include "net/host_name.h"
#include "net/local_addresses.h"
#include "protocol/discovery_message.h"

namespace {

void printUsage(std::ostream& out) {
    out << "usage: rbfinder-info [--verbose]\n"
           "Shows the host name, the local addresses a discovery search would start from\n"
           "and the request it would send from each. Sends nothing.\n";
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--verbose") {
            velmor::logging::enableLoggingToStderr();
        } else if (argument == "--help" || argument == "-h") {
            printUsage(std::cout);
            return 0;
        } else {
            printUsage(std::cerr);
            return 2;
        }
    }
    try {
        const std::string host = velmor::hostName();
        std::cout << "Host name: " << host << '\n';

        // The same call a search makes: every kind, IPv4 only, loopback included.
        const auto addresses = velmor::enumerateLocalAddresses(
            velmor::allAddressKinds,
            velmor::LocalAddressFlags::ignored | velmor::LocalAddressFlags::includeLoopback);
        std::cout << "Local addresses (kind, address):";
        if (addresses.empty()) {
            std::cout << " none";
        }
        for (const auto& address : addresses) {
            std::cout << ' ' << address;
        }
        std::cout << '\n';

        const std::string id =
            host + "-" + boost::uuids::to_string(boost::uuids::random_generator()());
        const auto request = velmor::makeDiscoveryRequest(velmor::DiscoveryProtocolVersion, id,
                                                          velmor::RequestFlag::Servers, {}, {});
        std::cout << "Discovery request: " << velmor::serializeDiscoveryRequest(request);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "rbfinder-info: " << e.what() << '\n';
        return 1;
    }
}
