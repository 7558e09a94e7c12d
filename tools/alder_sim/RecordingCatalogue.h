#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace alder {

// Record types of the recording protocol.
enum class RecordType : uint16_t { None = 0, Manual = 1, Automatic = 2, Alarm = 3 };

// One AVI recording of the folder, named "YYYY-MM-DD-HHMMSS X1CC.avi" with X = M (manual),
// T (timed, automatic) or A (alarm) and CC the channel from 1.
struct Recording {
    std::string name;      // as reported to clients: relative path with '\' separators
    std::string path;      // host path
    uint32_t date = 0;     // YYYYMMDD
    uint32_t time = 0;     // HHMMSS
    uint16_t channel = 0;  // from 1
    RecordType type = RecordType::None;
};

// Reads the recording name of a file (its last path component); nothing for other names.
std::optional<Recording> ParseRecordingName(const std::string& fileName);

// The recordings below a folder, looked up afresh on every call so that files written while
// the simulator runs are found.
class RecordingCatalogue {
public:
    explicit RecordingCatalogue(std::string folder) : folder_(std::move(folder)) {}

    // Recordings of a day and channel whose start lies in [from, to], of the type
    // (Manual/Automatic/Alarm, or None for all), ordered by start time.
    std::vector<Recording> Search(uint32_t date, uint32_t from, uint32_t to, uint16_t channel,
                                  RecordType type) const;
    // The host path of a name a client sent back; nothing for names outside the folder or
    // for files that do not exist.
    std::optional<std::string> Resolve(const std::string& name) const;

private:
    std::string folder_;
};

}  // namespace alder
