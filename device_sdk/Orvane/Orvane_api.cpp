// The exported C functions of libOrvane.so: handle lookup, argument checks, and no exception
// ever crossing into the caller.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>

#include "device_sdk/Orvane/DvrConnection.h"
#include "device_sdk/Orvane/Orvane.h"
#include "platform/Paths.h"

namespace {

using orvane::DvrConnection;
namespace wire = orvane::wire;

static_assert(sizeof(ORVANE_LOGIN) == 46);
static_assert(sizeof(ORVANE_PTZ) == 6);
static_assert(offsetof(ORVANE_FRAME, data) == 4);
static_assert(offsetof(ORVANE_FRAME, width) == 48 && offsetof(ORVANE_FRAME, height) == 50);
static_assert(sizeof(ORVANE_SEARCH) == 16);
static_assert(offsetof(ORVANE_RECFILE, next) == ORVANE_RECFILE_DATA_BYTES);
static_assert(offsetof(ORVANE_SEARCH_RESULT, files) == 6);
static_assert(sizeof(ORVANE_SYSTEM_PARAMS) == 96);

// The SDK's process-wide state: the handle table and the result chains it has handed out.
struct Sdk {
  std::mutex lock;
  bool started = false;                                  // guarded by lock
  int next_handle = 1;                                   // guarded by lock
  std::map<int, std::shared_ptr<DvrConnection>> dvrs;    // guarded by lock
  std::set<ORVANE_RECFILE*> chains;                      // guarded by lock
};
Sdk& sdk() {
  static Sdk* instance = new Sdk;  // never destroyed: callers may outlive static teardown
  return *instance;
}

std::shared_ptr<DvrConnection> Find(int handle) {
  std::lock_guard<std::mutex> guard(sdk().lock);
  if (!sdk().started) return nullptr;
  auto it = sdk().dvrs.find(handle);
  return it == sdk().dvrs.end() ? nullptr : it->second;
}

// Runs `body` and turns any exception into an error code.
template <typename Body>
int Guard(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return ORVANE_ERR_RESOURCES;
  } catch (...) {
    return ORVANE_ERR_RESOURCES;
  }
}

// Calls `body` with the live channel, or returns why there is none. Stopping and closing
// (`teardown`) also reach the channel of a link that has dropped, so that the caller's usual
// teardown after a loss succeeds and ends a recording in progress.
enum class Use { Running, Teardown };
template <typename Body>
int WithChannel(int handle, int channel, Body body, Use use = Use::Running) {
  return Guard([&] {
    auto dvr = Find(handle);
    if (!dvr) return ORVANE_ERR_INVALID_HANDLE;
    orvane::LiveChannel* c = dvr->channel(channel, use == Use::Teardown);
    if (!c) {
      if (!dvr->logged_in()) return ORVANE_ERR_NOT_CONNECTED;
      return channel < 0 ? ORVANE_ERR_INVALID_ARGUMENT : ORVANE_ERR_NO_VIDEO;
    }
    return body(*c);
  });
}

template <typename Body>
int WithPlayer(int handle, int index, Body body) {
  return Guard([&] {
    auto dvr = Find(handle);
    if (!dvr) return ORVANE_ERR_INVALID_HANDLE;
    if (index != 0) return ORVANE_ERR_INVALID_ARGUMENT;
    orvane::FilePlayer* p = dvr->player();
    if (!p) return ORVANE_ERR_NOT_CONNECTED;
    return body(*p);
  });
}

// Creates every missing folder of a host path.
bool MakeFolders(const std::string& host) {
  std::string path;
  size_t start = 0;
  while (start <= host.size()) {
    size_t slash = host.find('/', start);
    if (slash == std::string::npos) slash = host.size();
    path = host.substr(0, slash);
    if (!path.empty() && ::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
    start = slash + 1;
  }
  struct stat st{};
  return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Host folder for a folder named by the caller (Windows form or host form), created.
bool PrepareFolder(const char* folder, std::string& host) {
  if (!folder || !*folder) return false;
  host = platform::ToHostPath(folder);
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  if (!MakeFolders(host)) {
    std::fprintf(stderr, "[ORVANE] cannot create folder %s\n", host.c_str());
    return false;
  }
  return true;
}

void FreeChain(ORVANE_RECFILE* chain) { delete[] chain; }

}  // namespace

extern "C" {

int ORVANE_startup(void) {
  std::lock_guard<std::mutex> guard(sdk().lock);
  sdk().started = true;
  return ORVANE_OK;
}

int ORVANE_cleanup(void) {
  return Guard([] {
    std::map<int, std::shared_ptr<DvrConnection>> dvrs;
    {
      std::lock_guard<std::mutex> guard(sdk().lock);
      sdk().started = false;
      dvrs.swap(sdk().dvrs);
      for (ORVANE_RECFILE* chain : sdk().chains) FreeChain(chain);
      sdk().chains.clear();
    }
    for (auto& [handle, dvr] : dvrs) dvr->Logout();
    dvrs.clear();
    return ORVANE_OK;
  });
}

int ORVANE_createDVR(int* handle, unsigned int ip, unsigned short port) {
  return Guard([&] {
    if (!handle) return ORVANE_ERR_INVALID_ARGUMENT;
    *handle = 0;
    if (ip == 0 || ip == 0xFFFFFFFFu || port == 0) return ORVANE_ERR_INVALID_ARGUMENT;
    std::lock_guard<std::mutex> guard(sdk().lock);
    if (!sdk().started) return ORVANE_ERR_INVALID_HANDLE;
    int h = sdk().next_handle++;
    if (sdk().next_handle <= 0) sdk().next_handle = 1;
    sdk().dvrs[h] = std::make_shared<DvrConnection>(ip, port);
    *handle = h;
    return ORVANE_OK;
  });
}

int ORVANE_loginServer(int handle, const ORVANE_LOGIN* login) {
  return Guard([&] {
    if (!login) return ORVANE_ERR_INVALID_ARGUMENT;
    auto dvr = Find(handle);
    return dvr ? dvr->Login(*login) : ORVANE_ERR_INVALID_HANDLE;
  });
}

int ORVANE_regCBMsgConnLost(int handle, ORVANE_CONNLOST_CB callback, void* context) {
  return Guard([&] {
    auto dvr = Find(handle);
    return dvr ? dvr->RegisterConnectionLost(callback, context) : ORVANE_ERR_INVALID_HANDLE;
  });
}

int ORVANE_logoutServer(int handle) {
  return Guard([&] {
    auto dvr = Find(handle);
    return dvr ? dvr->Logout() : ORVANE_ERR_INVALID_HANDLE;
  });
}

int ORVANE_destroyDVR(int handle) {
  return Guard([&] {
    std::shared_ptr<DvrConnection> dvr;
    {
      std::lock_guard<std::mutex> guard(sdk().lock);
      auto it = sdk().dvrs.find(handle);
      if (it == sdk().dvrs.end()) return ORVANE_ERR_INVALID_HANDLE;
      dvr = std::move(it->second);
      sdk().dvrs.erase(it);
    }
    dvr->Logout();
    return ORVANE_OK;
  });
}

int ORVANE_getSystemParams(int handle, void* params96) {
  return Guard([&] {
    if (!params96) return ORVANE_ERR_INVALID_ARGUMENT;
    auto dvr = Find(handle);
    if (!dvr) return ORVANE_ERR_INVALID_HANDLE;
    ORVANE_SYSTEM_PARAMS params{};
    int result = dvr->GetSystemParams(params);
    if (result == ORVANE_OK) std::memcpy(params96, &params, sizeof params);
    return result;
  });
}

int ORVANE_setDecoderFMT(int handle, int channel, int format) {
  return WithChannel(handle, channel, [&](orvane::LiveChannel& c) { return c.SetFormat(format); });
}

int ORVANE_openVideoReciever(int handle, int channel, int, int) {
  return WithChannel(handle, channel, [](orvane::LiveChannel& c) { return c.OpenVideo(); });
}

int ORVANE_openAudioReciever(int handle, int channel, int, int) {
  return WithChannel(handle, channel, [](orvane::LiveChannel& c) { return c.OpenAudio(); });
}

int ORVANE_mutePreViewAudio(int handle, int channel, int mute) {
  return WithChannel(handle, channel, [&](orvane::LiveChannel& c) { return c.Mute(mute); });
}

int ORVANE_createVideoDecoder(int handle, int channel, ORVANE_DATA_CB callback, void* context) {
  if (!callback) return ORVANE_ERR_INVALID_ARGUMENT;
  return WithChannel(handle, channel,
                     [&](orvane::LiveChannel& c) { return c.SetVideoCallback(callback, context); });
}

int ORVANE_regDecAudioFrameCB(int handle, int channel, ORVANE_DATA_CB callback, void* context) {
  return WithChannel(handle, channel,
                     [&](orvane::LiveChannel& c) { return c.SetAudioCallback(callback, context); });
}

int ORVANE_startVideoSend(int handle, int channel) {
  return WithChannel(handle, channel, [](orvane::LiveChannel& c) { return c.StartVideo(); });
}

int ORVANE_startAudioSend(int handle, int channel) {
  return WithChannel(handle, channel, [](orvane::LiveChannel& c) { return c.StartAudio(); });
}

int ORVANE_stopVideoSend(int handle, int channel) {
  return WithChannel(handle, channel, [](orvane::LiveChannel& c) { return c.StopVideo(); },
                     Use::Teardown);
}

int ORVANE_stopAudioSend(int handle, int channel) {
  return WithChannel(handle, channel, [](orvane::LiveChannel& c) { return c.StopAudio(); },
                     Use::Teardown);
}

int ORVANE_destroyVideoDecoder(int handle, int channel) {
  return WithChannel(handle, channel,
                     [](orvane::LiveChannel& c) { return c.SetVideoCallback(nullptr, nullptr); },
                     Use::Teardown);
}

int ORVANE_closeVideoReciever(int handle, int channel) {
  return WithChannel(handle, channel, [](orvane::LiveChannel& c) { return c.CloseVideo(); },
                     Use::Teardown);
}

int ORVANE_closeAudioReciever(int handle, int channel) {
  return WithChannel(
      handle, channel,
      [](orvane::LiveChannel& c) {
        c.SetAudioCallback(nullptr, nullptr);
        return c.CloseAudio();
      },
      Use::Teardown);
}

int ORVANE_PtzControl(int handle, const ORVANE_PTZ* command) {
  return Guard([&] {
    if (!command) return ORVANE_ERR_INVALID_ARGUMENT;
    auto dvr = Find(handle);
    if (!dvr) return ORVANE_ERR_INVALID_HANDLE;
    if (!dvr->channel(command->channel))
      return dvr->logged_in() ? ORVANE_ERR_NO_VIDEO : ORVANE_ERR_NOT_CONNECTED;
    std::vector<uint8_t> payload;
    wire::PutU32(payload, command->command);
    return dvr->Request(wire::kPtz, command->channel, payload, nullptr);
  });
}

int ORVANE_startRecord(int handle, int channel, const char* folder, unsigned int splitBytes) {
  return WithChannel(handle, channel, [&](orvane::LiveChannel& c) {
    std::string host;
    if (!folder) return ORVANE_ERR_INVALID_ARGUMENT;
    if (!PrepareFolder(folder, host)) return ORVANE_ERR_FILE;
    return c.StartRecord(host, splitBytes);
  });
}

int ORVANE_stopRecord(int handle, int channel) {
  return WithChannel(handle, channel, [](orvane::LiveChannel& c) { return c.StopRecord(); },
                     Use::Teardown);
}

int ORVANE_snapshot(int handle, int channel, const char* folder, const char* fileName) {
  return WithChannel(handle, channel, [&](orvane::LiveChannel& c) {
    if (!folder || !fileName || !*fileName) return ORVANE_ERR_INVALID_ARGUMENT;
    std::string host;
    if (!PrepareFolder(folder, host)) return ORVANE_ERR_FILE;
    return c.Snapshot(host + "/" + fileName);
  }, Use::Teardown);
}

int ORVANE_recFilesSearch(int handle, const ORVANE_SEARCH* query, ORVANE_SEARCH_RESULT* result) {
  return Guard([&] {
    if (!query || !result) return ORVANE_ERR_INVALID_ARGUMENT;
    auto dvr = Find(handle);
    if (!dvr) return ORVANE_ERR_INVALID_HANDLE;
    // The caller may search page after page into one block: the records of the previous
    // page are ours to release, and only ours (the block may hold anything before its first
    // search).
    {
      std::lock_guard<std::mutex> guard(sdk().lock);
      ORVANE_RECFILE* previous = result->files;  // a packed field: read it by value
      auto it = sdk().chains.find(previous);
      if (it != sdk().chains.end()) {
        FreeChain(*it);
        sdk().chains.erase(it);
      }
    }
    result->total = result->first = result->last = 0;
    result->files = nullptr;

    std::vector<uint8_t> payload(reinterpret_cast<const uint8_t*>(query),
                                 reinterpret_cast<const uint8_t*>(query) + sizeof *query);
    std::vector<uint8_t> body;
    int rc = dvr->Request(wire::kSearch, 0, payload, &body);
    if (rc != ORVANE_OK) return rc;
    wire::Reader reader(body);
    const uint16_t total = reader.U16(), first = reader.U16(), count = reader.U16();
    if (!reader.ok() || reader.remaining() != size_t(count) * wire::kRecordDataBytes ||
        (count > 0 && (first == 0 || size_t(first) + count - 1 > total)))
      return ORVANE_ERR_PROTOCOL;
    ORVANE_RECFILE* chain = nullptr;
    if (count > 0) {
      chain = new ORVANE_RECFILE[count];
      for (uint16_t i = 0; i < count; ++i) {
        std::memset(&chain[i], 0, sizeof chain[i]);
        reader.Bytes(&chain[i], wire::kRecordDataBytes);
        chain[i].fileName[sizeof chain[i].fileName - 1] = '\0';
        chain[i].next = i + 1 < count ? &chain[i + 1] : nullptr;
      }
      std::lock_guard<std::mutex> guard(sdk().lock);
      sdk().chains.insert(chain);
    }
    result->total = total;
    result->first = count ? first : 0;
    result->last = count ? uint16_t(first + count - 1) : 0;
    result->files = chain;
    return ORVANE_OK;
  });
}

int ORVANE_recFilesSearchClean(ORVANE_SEARCH_RESULT* result) {
  return Guard([&] {
    if (!result) return ORVANE_ERR_INVALID_ARGUMENT;
    std::lock_guard<std::mutex> guard(sdk().lock);
    ORVANE_RECFILE* files = result->files;  // a packed field: read it by value
    auto it = sdk().chains.find(files);
    if (it != sdk().chains.end()) {
      FreeChain(*it);
      sdk().chains.erase(it);
    }
    result->total = result->first = result->last = 0;
    result->files = nullptr;
    return ORVANE_OK;
  });
}

int ORVANE_openPlayCBReciever(int handle, int index, ORVANE_DATA_CB callback, void* user) {
  return WithPlayer(handle, index, [&](orvane::FilePlayer& p) { return p.Open(callback, user); });
}

int ORVANE_setPlayCBDecoderFMT(int handle, int index, int format) {
  return WithPlayer(handle, index, [&](orvane::FilePlayer& p) { return p.SetFormat(format); });
}

int ORVANE_regCBMsgProgress(int handle, int index, ORVANE_PROGRESS_CB callback, void* user) {
  return WithPlayer(handle, index,
                    [&](orvane::FilePlayer& p) { return p.SetProgressCallback(callback, user); });
}

int ORVANE_regCBMsgPlayOver(int handle, int index, ORVANE_PLAYOVER_CB callback, void* user) {
  return WithPlayer(handle, index,
                    [&](orvane::FilePlayer& p) { return p.SetPlayOverCallback(callback, user); });
}

int ORVANE_startFilePlay(int handle, int index, const ORVANE_RECFILE* file) {
  if (!file) return ORVANE_ERR_INVALID_ARGUMENT;
  return WithPlayer(handle, index, [&](orvane::FilePlayer& p) { return p.Start(*file); });
}

int ORVANE_playProgress(int handle, int index, int enable) {
  return WithPlayer(handle, index, [&](orvane::FilePlayer& p) { return p.EnableProgress(enable); });
}

int ORVANE_pausePlay(int handle, int index) {
  return WithPlayer(handle, index, [](orvane::FilePlayer& p) { return p.Pause(); });
}

int ORVANE_resumePlay(int handle, int index) {
  return WithPlayer(handle, index, [](orvane::FilePlayer& p) { return p.Resume(); });
}

int ORVANE_setPlayRate(int handle, int index, int rate) {
  return WithPlayer(handle, index, [&](orvane::FilePlayer& p) { return p.SetRate(rate); });
}

int ORVANE_stopFilePlay(int handle, int index) {
  return WithPlayer(handle, index, [](orvane::FilePlayer& p) { return p.Stop(); });
}

int ORVANE_closePlayCBReciever(int handle, int index) {
  return WithPlayer(handle, index, [](orvane::FilePlayer& p) { return p.Close(); });
}

}  // extern "C"
