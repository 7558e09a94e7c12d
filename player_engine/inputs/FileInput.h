#pragma once

#include <string>
#include <vector>

#include "platform/Files.h"
#include "player_engine/inputs/Input.h"

namespace pellix {

// A local file, read through a read-ahead window so that walking thousands of small chunk
// headers costs one host read per window rather than one per header. Used by one thread at
// a time: the AVI demuxer serialises every access under its own lock.
class FileInput final : public Input {
public:
    const char* DisplayName() const override { return "FILE Input"; }

    bool Open(const char* name, bool binary, bool stream) override;
    void Close() override;
    size_t Read(void* buffer, size_t bytes) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    bool ReadLine(char* line, size_t capacity) override;
    int64_t Size() const override { return size_bytes_; }
    bool AtEnd() const override { return at_end_; }

    const std::string& Name() const { return name_; }

private:
    bool Fill();

    platform::File file_;
    std::string name_;
    int64_t size_bytes_ = 0;
    int64_t position_ = 0;            // logical read position
    bool at_end_ = false;             // a read came up short
    bool text_mode_ = false;          // "\r\n" read as "\n" by ReadLine
    std::vector<uint8_t> window_;     // bytes of the file from window_start_
    int64_t window_start_ = 0;
};

}  // namespace pellix
