// rbfind's JSON output from arbitrary bytes: one string from the whole input, and a
// search result whose records are filled from it. Both must be valid UTF-8 and valid
// JSON without raw control characters, C1 controls, U+2028 or U+2029; a string whose
// input is well-formed UTF-8 must read back unchanged.
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "cli/search_result_json.h"
#include "fuzz/fuzz_check.h"
#include "protocol/json_writer.h"

using namespace velmor;
using velmor::fuzz::require;

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else if (lead >= 0x80) {
            return false;
        }
        if (length > text.size() - i) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

void appendCodePoint(std::string& out, unsigned value) {
    if (value < 0x80) {
        out.push_back(static_cast<char>(value));
    } else if (value < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (value >> 6)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (value >> 12)));
        out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
}

// A strict reader of one JSON document over text already known to be UTF-8.
class JsonChecker {
public:
    explicit JsonChecker(std::string_view text) : text(text) {}

    bool document() { return value(0) && at == text.size(); }

    // A document of one string; its decoded text goes to `decoded`.
    bool stringDocument(std::string& decoded) { return string(decoded) && at == text.size(); }

private:
    bool string(std::string& decoded) {
        if (!take('"')) {
            return false;
        }
        while (at < text.size()) {
            const auto c = static_cast<unsigned char>(text[at++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20 || c == 0x7F || forbiddenRaw(c)) {
                return false;
            }
            if (c != '\\') {
                decoded.push_back(static_cast<char>(c));
                continue;
            }
            if (at == text.size()) {
                return false;
            }
            const char escape = text[at++];
            const std::string_view simple = "\"\\/bfnrt";
            const std::string_view meaning = "\"\\/\b\f\n\r\t";
            if (const auto found = simple.find(escape); found != std::string_view::npos) {
                decoded.push_back(meaning[found]);
            } else if (escape != 'u' || !escapedCodePoint(decoded)) {
                return false;
            }
        }
        return false;
    }

    bool take(char c) {
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }

    // C1 controls (C2 80..9F) and U+2028/U+2029 (E2 80 A8/A9) raw; `c` was just read.
    bool forbiddenRaw(unsigned char c) const {
        const auto byte = [this](std::size_t k) {
            return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0;
        };
        return (c == 0xC2 && byte(0) >= 0x80 && byte(0) <= 0x9F) ||
               (c == 0xE2 && byte(0) == 0x80 && (byte(1) == 0xA8 || byte(1) == 0xA9));
    }

    bool hex4(unsigned& value) {
        value = 0;
        for (int k = 0; k < 4; ++k) {
            if (at == text.size()) {
                return false;
            }
            const char c = text[at++];
            const std::string_view digits = "0123456789abcdefABCDEF";
            const auto found = digits.find(c);
            if (found == std::string_view::npos) {
                return false;
            }
            value = value * 16 + static_cast<unsigned>(found < 16 ? found : found - 6);
        }
        return true;
    }

    // The writer escapes only controls and U+2028/U+2029, all in the BMP: a surrogate
    // escape is rejected rather than paired.
    bool escapedCodePoint(std::string& decoded) {
        unsigned value = 0;
        if (!hex4(value) || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        appendCodePoint(decoded, value);
        return true;
    }

    bool isDigit() const { return at < text.size() && text[at] >= '0' && text[at] <= '9'; }

    // The writer writes integers only: no fraction, no exponent. A digit after a leading
    // zero fails at the next token.
    bool number() {
        take('-');
        if (!isDigit()) {
            return false;
        }
        if (text[at++] != '0') {
            while (isDigit()) {
                ++at;
            }
        }
        return true;
    }

    bool literal(std::string_view word) {
        if (text.substr(at, word.size()) != word) {
            return false;
        }
        at += word.size();
        return true;
    }

    bool value(int depth) {
        if (depth > 16 || at == text.size()) {
            return false;
        }
        std::string ignored;
        switch (text[at]) {
        case '{':
            return members(depth, '}', true);
        case '[':
            return members(depth, ']', false);
        case '"':
            return string(ignored);
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }

    bool members(int depth, char close, bool keyed) {
        ++at;
        if (take(close)) {
            return true;
        }
        do {
            std::string key;
            if (keyed && !(string(key) && take(':'))) {
                return false;
            }
            if (!value(depth + 1)) {
                return false;
            }
        } while (take(','));
        return take(close);
    }

    std::string_view text;
    std::size_t at = 0;
};

void checkString(std::string_view input) {
    std::string out;
    appendJsonString(out, input);
    require(isUtf8(out), "appendJsonString wrote ill-formed UTF-8");
    std::string decoded;
    require(JsonChecker(out).stringDocument(decoded),
            "appendJsonString wrote no valid JSON string");
    require(!isUtf8(input) || decoded == input, "well-formed UTF-8 did not read back unchanged");
}

DeviceInfo device(FuzzedDataProvider& input) {
    DeviceInfo d;
    d.serial = input.ConsumeRandomLengthString(32);
    d.type = input.ConsumeRandomLengthString(32);
    d.address = input.ConsumeRandomLengthString(32);
    while (input.ConsumeBool()) {
        d.interfaces.insert(input.PickValueInArray(
            {InterfaceType::USB, InterfaceType::GbE, InterfaceType::PCIe, InterfaceType::Unknown}));
    }
    d.connectedServerUid = input.ConsumeRandomLengthString(32);
    d.available = input.ConsumeBool();
    d.owner = input.ConsumeRandomLengthString(32);
    d.status = input.ConsumeRandomLengthString(32);
    d.statusFlags = input.ConsumeIntegral<std::uint32_t>();
    d.options = input.ConsumeRandomLengthString(32);
    d.minServRev = input.ConsumeIntegral<std::uint32_t>();
    d.lastRefresh = input.ConsumeIntegral<std::uint64_t>();
    return d;
}

void checkSearchResult(FuzzedDataProvider& input) {
    const std::string requestId = input.ConsumeRandomLengthString(32);
    std::list<ServerInfo> servers;
    std::vector<DeviceInfo> devices;
    while (input.remaining_bytes() > 0 && input.ConsumeBool()) {
        ServerInfo& server = servers.emplace_back();
        server.uid = input.ConsumeRandomLengthString(32);
        server.type = input.ConsumeRandomLengthString(32);
        while (input.ConsumeBool()) {
            server.addresses.push_back(input.ConsumeRandomLengthString(32));
        }
        server.port = input.ConsumeIntegral<std::uint16_t>();
        server.serverVersion = input.ConsumeRandomLengthString(32);
        while (input.ConsumeBool()) {
            server.devices.push_back(device(input));
        }
    }
    while (input.remaining_bytes() > 0) {
        devices.push_back(device(input));
    }
    const std::string json = cli::searchResultJson(requestId, servers, devices);
    require(isUtf8(json), "searchResultJson wrote ill-formed UTF-8");
    require(json.find('\n') == std::string::npos, "searchResultJson wrote a line break");
    require(JsonChecker(json).document(), "searchResultJson wrote no valid JSON document");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkString(std::string_view(reinterpret_cast<const char*>(data), size));
    FuzzedDataProvider input(data, size);
    checkSearchResult(input);
    return 0;
}
