#include "player_engine/ErrorCode.h"

#include <atomic>

namespace pellix {

namespace {
// One code for all ports, as callers expect; atomic because the feeding thread of one port
// and the UI thread of another may report at the same time.
std::atomic<uint32_t> g_lastError{0};
}  // namespace

void SetLastError(ErrorCode code) { g_lastError.store(static_cast<uint32_t>(code)); }

ErrorCode LastError() { return static_cast<ErrorCode>(g_lastError.load()); }

}  // namespace pellix
