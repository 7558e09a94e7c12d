#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace teskline {

// One scripted answer of the traversal: a result code and what it reports.
struct HoleAnswer {
    int rc = 0;
    std::vector<uint32_t> addresses;        // network order
    std::vector<uint16_t> servicePorts;
    std::vector<uint16_t> dvrLocalPorts;
    std::vector<uint16_t> clientNatPorts;
};

// The answers of a table file, by name (lower case), each name's lines in file order.
class HoleTable {
public:
    // Parses table text. Malformed lines are skipped; each one is described in *errors
    // when errors is given.
    static HoleTable Parse(const std::string& text, std::vector<std::string>* errors = nullptr);

    // The answers for name (compared without case); null when there are none.
    const std::vector<HoleAnswer>* Find(const std::string& name) const;

private:
    std::map<std::string, std::vector<HoleAnswer>> answers_;
};

// Lower-case copy of an ASCII text.
std::string ToLower(std::string text);

}  // namespace teskline
