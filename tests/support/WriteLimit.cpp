#include "tests/support/WriteLimit.h"

#include "platform/Files.h"
#include "platform/Paths.h"

namespace suite::test {

WriteLimit::WriteLimit(const std::string& path, std::int64_t bytes_allowed)
    : host_path_(platform::ToHostPath(path)) {
  platform::SetWriteLimitForTesting(host_path_, bytes_allowed);
}

WriteLimit::~WriteLimit() { platform::SetWriteLimitForTesting(host_path_, -1); }

}  // namespace suite::test
