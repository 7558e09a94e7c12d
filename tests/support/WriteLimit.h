#pragma once

#include <cstdint>
#include <string>

namespace suite::test {

// A disk that fills up: every platform::File opened on `path` (Windows or host form) while this
// object lives fails with DiskFull once it has written `bytes_allowed` bytes; the write that
// crosses the limit stores the part that fits. Files opened before it was made are not
// affected. The limit is removed when the object is destroyed.
class WriteLimit {
 public:
  WriteLimit(const std::string& path, std::int64_t bytes_allowed);
  ~WriteLimit();
  WriteLimit(const WriteLimit&) = delete;
  WriteLimit& operator=(const WriteLimit&) = delete;

 private:
  std::string host_path_;
};

}  // namespace suite::test
