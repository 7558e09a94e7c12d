#pragma once

#include <string>

namespace suite::test {

// A fresh, empty host folder below $TMPDIR (or /tmp), removed with everything in it when the
// object is destroyed. Throws std::runtime_error when the folder cannot be made.
class TempFolder {
 public:
  explicit TempFolder(const std::string& tag = "suite");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Host path without a trailing '/'.
  const std::string& path() const { return path_; }
  // path() + "/" + relative.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

}  // namespace suite::test
