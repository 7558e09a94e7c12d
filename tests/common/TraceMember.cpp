// One member of the trace facility in a library of its own, reached through two exported
// entry points named after the member, so that a probe process can carry all five members
// side by side as the deliverables do.

#include "common/TraceMessage.h"

#define TRACE_PROBE_JOIN2(a, b) a##b
#define TRACE_PROBE_JOIN(a, b) TRACE_PROBE_JOIN2(a, b)
#define TRACE_PROBE_EXPORT extern "C" __attribute__((visibility("default")))

TRACE_PROBE_EXPORT int TRACE_PROBE_JOIN(TraceProbeLine_, TRACE_PROBE_MEMBER)(const char* text) {
  return TraceMessage("%s", text);
}

// A wide string that the C locale cannot convert makes the formatting fail.
TRACE_PROBE_EXPORT int TRACE_PROBE_JOIN(TraceProbeFormatError_, TRACE_PROBE_MEMBER)() {
  return TraceMessage("before %ls after", L"\x4E2D\x6587");
}
