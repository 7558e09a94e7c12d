#include "tools/alder_sim/RecordingCatalogue.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace alder {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxDepth = 8;
constexpr size_t kMaxNameBytes = 115;  // the name field of a search entry holds 116 bytes

bool Digits(const std::string& text, size_t at, size_t count, uint32_t& value)
{
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
        value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    }
    return true;
}

}  // namespace

std::optional<Recording> ParseRecordingName(const std::string& fileName)
{
    // "2010-04-29-051845 M101.avi"
    if (fileName.size() != 26 || fileName[4] != '-' || fileName[7] != '-' ||
        fileName[10] != '-' || fileName[17] != ' ' || fileName[19] != '1')
        return std::nullopt;
    std::string extension = fileName.substr(22);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension != ".avi")
        return std::nullopt;
    uint32_t year, month, day, time, channel;
    if (!Digits(fileName, 0, 4, year) || !Digits(fileName, 5, 2, month) ||
        !Digits(fileName, 8, 2, day) || !Digits(fileName, 11, 6, time) ||
        !Digits(fileName, 20, 2, channel) || month < 1 || month > 12 || day < 1 || day > 31 ||
        channel < 1)
        return std::nullopt;
    Recording recording;
    switch (std::toupper(static_cast<unsigned char>(fileName[18]))) {
    case 'M': recording.type = RecordType::Manual; break;
    case 'T': recording.type = RecordType::Automatic; break;
    case 'A': recording.type = RecordType::Alarm; break;
    default: return std::nullopt;
    }
    recording.date = year * 10000 + month * 100 + day;
    recording.time = time;
    recording.channel = static_cast<uint16_t>(channel);
    return recording;
}

std::vector<Recording> RecordingCatalogue::Search(uint32_t date, uint32_t from, uint32_t to,
                                                  uint16_t channel, RecordType type) const
{
    std::vector<Recording> found;
    std::error_code error;
    if (folder_.empty() || !fs::is_directory(folder_, error))
        return found;
    fs::recursive_directory_iterator it(folder_, fs::directory_options::skip_permission_denied,
                                        error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it.depth() >= kMaxDepth)
            it.disable_recursion_pending();
        if (!it->is_regular_file(error))
            continue;
        auto recording = ParseRecordingName(it->path().filename().string());
        if (!recording || recording->date != date || recording->channel != channel ||
            recording->time < from || recording->time > to ||
            (type != RecordType::None && recording->type != type))
            continue;
        std::string relative = fs::relative(it->path(), folder_, error).string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        if (relative.size() > kMaxNameBytes)
            continue;
        recording->name = relative;
        recording->path = it->path().string();
        found.push_back(std::move(*recording));
    }
    std::sort(found.begin(), found.end(), [](const Recording& a, const Recording& b) {
        return a.time != b.time ? a.time < b.time : a.name < b.name;
    });
    return found;
}

std::optional<std::string> RecordingCatalogue::Resolve(const std::string& name) const
{
    if (folder_.empty() || name.empty() || name.front() == '\\' || name.front() == '/' ||
        name.find(':') != std::string::npos)
        return std::nullopt;
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    fs::path path = fs::path(relative).lexically_normal();
    for (const auto& part : path)
        if (part == "..")
            return std::nullopt;
    std::error_code error;
    fs::path full = fs::path(folder_) / path;
    if (!fs::is_regular_file(full, error))
        return std::nullopt;
    return full.string();
}

}  // namespace alder
