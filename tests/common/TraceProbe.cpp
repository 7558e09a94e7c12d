// trace_probe <MEMBER> line <text> [<count>] | format-error | threads <threads> <lines>
// Runs the trace facility of one member in a fresh process (the facility keeps its state for
// the life of a process) and prints "result=<last result>".

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#define TRACE_PROBE_DECLARE(M)                          \
  extern "C" int TraceProbeLine_##M(const char* text); \
  extern "C" int TraceProbeFormatError_##M();
TRACE_PROBE_DECLARE(KORVEL)
TRACE_PROBE_DECLARE(HALVANE)
TRACE_PROBE_DECLARE(STORDANE)
TRACE_PROBE_DECLARE(PELLIX)
TRACE_PROBE_DECLARE(LUMARO)

namespace {

struct Member {
  const char* name;
  int (*line)(const char*);
  int (*format_error)();
};

const Member kMembers[] = {
    {"KORVEL", TraceProbeLine_KORVEL, TraceProbeFormatError_KORVEL},
    {"HALVANE", TraceProbeLine_HALVANE, TraceProbeFormatError_HALVANE},
    {"STORDANE", TraceProbeLine_STORDANE, TraceProbeFormatError_STORDANE},
    {"PELLIX", TraceProbeLine_PELLIX, TraceProbeFormatError_PELLIX},
    {"LUMARO", TraceProbeLine_LUMARO, TraceProbeFormatError_LUMARO},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const Member* member = nullptr;
  for (const Member& candidate : kMembers) {
    if (std::strcmp(candidate.name, argv[1]) == 0) member = &candidate;
  }
  if (!member) return 2;
  std::string command = argv[2];
  int result = -1;
  if (command == "line" && argc >= 4) {
    int count = argc >= 5 ? std::atoi(argv[4]) : 1;
    for (int i = 0; i < count; ++i) result = member->line(argv[3]);
  } else if (command == "format-error") {
    result = member->format_error();
  } else if (command == "threads" && argc >= 5) {
    int threads = std::atoi(argv[3]);
    int lines = std::atoi(argv[4]);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([member, t, lines] {
        for (int i = 0; i < lines; ++i) {
          member->line(("thread " + std::to_string(t) + " line " + std::to_string(i)).c_str());
        }
      });
    }
    for (auto& worker : workers) worker.join();
    result = 1;
  } else {
    return 2;
  }
  std::printf("result=%d\n", result);
  return 0;
}
