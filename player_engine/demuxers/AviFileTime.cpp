#include "player_engine/demuxers/AviFileTime.h"

#include "platform/Files.h"

namespace pellix {

namespace {
constexpr int64_t kFirstStreamScaleOffset = 128;
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace

uint32_t RecordingFileTimeMs(const char* file_name) {
    if (file_name == nullptr || file_name[0] == '\0') return 0;
    platform::File file;
    if (!file.Open(file_name, platform::File::Mode::Read)) return 0;
    uint8_t fields[16];
    if (file.Seek(kFirstStreamScaleOffset, platform::File::Origin::Begin) != kFirstStreamScaleOffset ||
        !file.ReadExact(fields, sizeof fields))
        return 0;
    const uint32_t scale = Le32(fields), rate = Le32(fields + 4), length = Le32(fields + 12);
    // A scale of 0 would divide by zero; such a header describes no playable stream.
    if (scale == 0 || rate / scale == 0) return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(length) * 1000 / (rate / scale));
}

}  // namespace pellix
