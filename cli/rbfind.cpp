// rbfind: finds the RB instruments on the local networks from the command line, with the
// results the finder's window shows. See rbfindUsage() for the options.
#include <algorithm>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <KVLogger>
#include <boost/make_shared.hpp>

#include "app/device_search.h"
#include "app/device_selection.h"
#include "cli/diagnosis.h"
#include "net/host_lookup.h"
#include "cli/rbfind_options.h"
#include "cli/rbfind_search.h"
#include "cli/rbfind_watch.h"
#include "cli/search_result_json.h"
#include "cli/terminal_text.h"
#include "discovery/multicast_discovery.h"
#include "net/local_addresses.h"

namespace velmor::cli {

namespace {

enum ExitStatus : int {
    devicesListed = 0,
    noDevice = 1,
    usageError = 2,
    searchFailed = 3,
};

int reportUsageError(const std::string& message) {
    std::cerr << "rbfind: " << terminalSafe(message) << '\n'
              << "Try 'rbfind --help' for more information.\n";
    return usageError;
}

// The --address texts that are not local IPv4 addresses of this machine, as a message;
// empty when all are. Uses the enumeration a search makes.
std::string checkLocalAddresses(const std::vector<std::string>& wanted) {
    const auto locals = enumerateLocalAddresses(allAddressKinds, searchAddressFlags);
    std::string knownList;
    for (const LocalAddress& local : locals) {
        knownList += (knownList.empty() ? "" : ", ") + local.address;
    }
    for (const std::string& address : wanted) {
        const bool known = std::any_of(locals.begin(), locals.end(),
                                       [&](const LocalAddress& l) { return l.address == address; });
        if (!known) {
            return "'" + address + "' is not a local IPv4 address of this machine (local: " +
                   (knownList.empty() ? std::string("none") : knownList) + ")";
        }
    }
    return {};
}

int searchAndPrint(const RbfindOptions& options) {
    MulticastDeviceSearch deviceSearch;
    const SearchResult outcome = searchForFirst(deviceSearch, options);
    std::vector<DeviceInfo> devices =
        uniqueBySerial(selectDevices(outcome.servers, selectionModeOf(options)));
    if (options.first && devices.size() > 1) {
        devices.resize(1);
    }
    std::optional<Diagnosis> diagnosis;
    if (options.diagnose) {
        diagnosis = diagnose(outcome.statistics, outcome.servers, selectionModeOf(options),
                             devices.size(), !options.hosts.empty(), enumerateLocalSubnets());
    }
    if (options.json) {
        std::cout << searchResultJson(outcome.requestId, outcome.servers, devices,
                                      diagnosis ? &*diagnosis : nullptr)
                  << '\n';
    } else {
        for (const std::string& row : sortedRowTexts(devices)) {
            std::cout << terminalSafe(row) << '\n';
        }
        if (diagnosis) {
            std::cout << '\n' << diagnosisText(*diagnosis);
        }
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "rbfind: could not write the output\n";
        return searchFailed;
    }
    if (outcome.failed()) {
        std::cerr << "rbfind: search failed: no discovery request could be sent\n";
        return searchFailed;
    }
    return devices.empty() ? noDevice : devicesListed;
}

int run(const std::vector<std::string>& arguments) {
    const RbfindCommand command = parseRbfindArguments(arguments);
    switch (command.action) {
    case RbfindCommand::Action::usageError:
        return reportUsageError(command.error);
    case RbfindCommand::Action::help:
        std::cout << rbfindUsage();
        return devicesListed;
    case RbfindCommand::Action::version:
        std::cout << "rbfind " RBFIND_VERSION "\n";
        return devicesListed;
    case RbfindCommand::Action::search:
        break;
    }
    RbfindOptions options = command.options;
    if (options.verbose) {
        // Diagnostics can quote texts from the network: they pass the same filter.
        logging::enableLogging(boost::make_shared<TerminalSafeStream>(std::cerr), logging::debug);
    }
    try {
        if (!options.hosts.empty()) {
            HostLookup lookup = lookUpHosts(options.hosts);
            if (!lookup.error.empty()) {
                return reportUsageError(lookup.error);
            }
            options.hosts = std::move(lookup.addresses);
        }
        if (!options.addresses.empty()) {
            if (const std::string problem = checkLocalAddresses(options.addresses);
                !problem.empty()) {
                return reportUsageError(problem);
            }
        }
        if (options.watch) {
            watchDevices(options);
            return devicesListed;
        }
        return searchAndPrint(options);
    } catch (const std::exception& error) {
        std::cerr << "rbfind: search failed: " << terminalSafe(error.what()) << '\n';
    } catch (...) {
        std::cerr << "rbfind: search failed: unknown error\n";
    }
    return searchFailed;
}

} // namespace

} // namespace velmor::cli

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return velmor::cli::run(arguments);
}
