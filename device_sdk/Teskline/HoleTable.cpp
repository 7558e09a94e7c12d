#include "device_sdk/Teskline/HoleTable.h"

#include <arpa/inet.h>

#include <cctype>
#include <charconv>
#include <sstream>

namespace teskline {

std::string ToLower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

namespace {

bool ParseInt(const std::string& text, long min, long max, long& value)
{
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= min && value <= max;
}

std::vector<std::string> SplitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        auto comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

bool ParsePorts(const std::string& text, std::vector<uint16_t>& ports)
{
    for (const std::string& part : SplitCommas(text)) {
        long value = 0;
        if (!ParseInt(part, 0, 65535, value) || ports.size() >= 20)
            return false;
        ports.push_back(static_cast<uint16_t>(value));
    }
    return true;
}

bool ParseAddresses(const std::string& text, std::vector<uint32_t>& addresses)
{
    for (const std::string& part : SplitCommas(text)) {
        in_addr address{};
        // The list ends at a zero address, so 0.0.0.0 cannot be one of its entries.
        if (inet_pton(AF_INET, part.c_str(), &address) != 1 || address.s_addr == 0 ||
            addresses.size() >= 20)
            return false;
        addresses.push_back(address.s_addr);
    }
    return true;
}

}  // namespace

HoleTable HoleTable::Parse(const std::string& text, std::vector<std::string>* errors)
{
    HoleTable table;
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        if (auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string name, rcText, field;
        if (!(words >> name))
            continue;
        HoleAnswer answer;
        long rc = 0;
        bool valid = static_cast<bool>(words >> rcText) && ParseInt(rcText, -1000, 1000, rc);
        answer.rc = static_cast<int>(rc);
        while (valid && words >> field) {
            auto equals = field.find('=');
            std::string key = field.substr(0, equals);
            std::string value = equals == std::string::npos ? "" : field.substr(equals + 1);
            if (key == "ip")
                valid = ParseAddresses(value, answer.addresses);
            else if (key == "service")
                valid = ParsePorts(value, answer.servicePorts);
            else if (key == "local")
                valid = ParsePorts(value, answer.dvrLocalPorts);
            else if (key == "nat")
                valid = ParsePorts(value, answer.clientNatPorts);
            else
                valid = false;
        }
        if (!valid) {
            if (errors)
                errors->push_back("line " + std::to_string(lineNumber) + ": cannot read \"" +
                                  line + "\"");
            continue;
        }
        table.answers_[ToLower(name)].push_back(std::move(answer));
    }
    return table;
}

const std::vector<HoleAnswer>* HoleTable::Find(const std::string& name) const
{
    auto it = answers_.find(ToLower(name));
    return it == answers_.end() ? nullptr : &it->second;
}

}  // namespace teskline
