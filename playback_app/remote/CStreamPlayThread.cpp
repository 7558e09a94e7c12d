#include "playback_app/remote/CStreamPlayThread.h"

#include <mutex>

#include "common/TraceMessage.h"
#include "platform/Tick.h"
#include "platform/Window.h"
#include "player_engine/Pellix.h"
#include "playback_app/LumaroIds.h"

namespace lumaro {

namespace {
constexpr std::int64_t kFirstBytes = 0x4FFF;   // more than this before the header is read
constexpr int kFirstBytesChecks = 30;          // 100 ms apart
constexpr unsigned kLowBufferBytes = 51200;
constexpr int kEngineBufferBytes = 1048576;
constexpr std::size_t kReadBytes = 10240;
constexpr int kEmptyReads = 50;
constexpr platform::WPARAM kStreamEnd = 0xFFFF;
}  // namespace

CStreamPlayThread::CStreamPlayThread(int window, void* videoWindow, void* dialog, std::string tempFile,
                                     platform::Event& dataEvent, bool muted, StreamDisplay display)
    : m_nWindow(window), m_hVideoWnd(videoWindow), m_hDialog(dialog), m_strTempFile(std::move(tempFile)),
      m_bMuted(muted), m_display(display), m_dataEvent(dataEvent) {}

CStreamPlayThread::~CStreamPlayThread() {
  CloseStream();
  KillThread();
}

bool CStreamPlayThread::IsPlaying() const {
  std::lock_guard<platform::CriticalSection> guard(m_cs);
  return m_bPlaying;
}

bool CStreamPlayThread::InputEnded() const { return m_bInputEnded.load(); }

std::uint64_t CStreamPlayThread::BytesFed() const {
  std::lock_guard<platform::CriticalSection> guard(m_cs);
  return m_nFed;
}

void CStreamPlayThread::SourceBufCallBack(int port, unsigned int remain, void* user, void*) {
  auto* self = static_cast<CStreamPlayThread*>(user);
  Pellix_ResetSourceBufFlag(port);
  if (!self->m_bInputEnded.load() || self->m_bFileEndReported.exchange(true)) {
    self->m_dataEvent.Set();
    TraceMessage("[LUMARO] - Z: SourceBufCallBack -- SetEvent. play index: %d. size of left buf: %u", port, remain);
    return;
  }
  platform::PostMessage(self->m_hDialog, UM_FILE_END, kStreamEnd, port);
}

bool CStreamPlayThread::WaitForFirstBytes() {
  for (int check = 0; check < kFirstBytesChecks; ++check) {
    if (platform::FileSize(m_strTempFile) > kFirstBytes) return true;
    if (platform::WaitForOne(StopEvent(), 100) == platform::WAIT_OBJECT_0) return false;
  }
  return false;
}

bool CStreamPlayThread::OpenStream() {
  TraceMessage("[LUMARO] - Come into  OpenStream");
  std::lock_guard<platform::CriticalSection> guard(m_cs);
  const int port = m_nWindow;
  auto fail = [&](const char* step) {
    TraceMessage("[LUMARO] - stream of window %d: %s failed (engine error %u).", port, step, Pellix_GetLastError(port));
    m_file.Close();
    TraceMessage("[LUMARO] - RUN: FAIL OpenStream");
    return false;
  };
  if (m_bClosed || !platform::Exists(m_strTempFile)) return fail("finding the file");
  if (!m_file.Open(m_strTempFile, platform::File::Mode::Read)) return fail("opening the file");
  Pellix_SetSourceBufCallBack(port, kLowBufferBytes, &SourceBufCallBack, this, nullptr);
  Pellix_SetStreamOpenMode(port, 1);
  const int header_length = Pellix_GetFileHeadLength();
  if (header_length <= 0) return fail("the header length");
  std::vector<unsigned char> header(static_cast<std::size_t>(header_length));
  if (!m_file.ReadExact(header.data(), header.size())) return fail("reading the header");
  if (m_display.callback != nullptr) {
    Pellix_SetDisplayCallBack(port, m_display.callback, m_display.user);
    m_bDisplaySet = true;
  }
  if (!Pellix_OpenStream(port, header.data(), header_length, kEngineBufferBytes)) return fail("Pellix_OpenStream");
  Pellix_SetSourceBufCallBack(port, kLowBufferBytes, &SourceBufCallBack, this, nullptr);
  // The engine reads the header again from the stream, so feeding starts right after it.
  m_file.Seek(header_length, platform::File::Origin::Begin);
  Pellix_ResetSourceBuffer(port);
  m_dataEvent.Set();
  if (!Pellix_Play(port, m_hVideoWnd)) {
    Pellix_CloseStream(port);
    return fail("Pellix_Play");
  }
  if (!m_bMuted) Pellix_PlaySound(port);
  m_bPlaying = true;
  TraceMessage("[LUMARO] - RUN: FINISH OpenStream");
  return true;
}

void CStreamPlayThread::FeedLoop() {
  std::vector<unsigned char> buffer(kReadBytes);
  std::size_t pending = 0;  // bytes in buffer the engine has not taken yet
  int retries = kEmptyReads;
  while (!IsStopRequested()) {
    const std::uint32_t woke = platform::WaitForAny({StopEvent(), &m_dataEvent}, platform::INFINITE);
    if (woke != platform::WAIT_OBJECT_0 + 1) break;
    std::lock_guard<platform::CriticalSection> guard(m_cs);
    if (m_bClosed || !m_file.IsOpen()) break;
    if (pending == 0) {
      const std::int64_t got = m_file.Read(buffer.data(), buffer.size());
      if (got <= 0) {
        if (--retries == 0) {
          m_bInputEnded = true;
          break;
        }
        m_dataEvent.Reset();
        m_cs.Leave();
        platform::Sleep(100);
        m_cs.Enter();
        m_dataEvent.Set();  // look again after the pause, even without news
        continue;
      }
      retries = kEmptyReads;
      pending = static_cast<std::size_t>(got);
    }
    if (Pellix_InputData(m_nWindow, buffer.data(), static_cast<int>(pending))) {
      m_nFed += pending;
      pending = 0;
    } else {
      m_dataEvent.Reset();
      TraceMessage("[LUMARO] - Z: Pellix_InputData fail. ResetEvent. Play index: %d", m_nWindow);
    }
  }
}

std::uint32_t CStreamPlayThread::Run() {
  if (!WaitForFirstBytes()) {
    TraceMessage("[LUMARO] - stream of window %d: the file never grew past its header.", m_nWindow);
    return 0;
  }
  if (!OpenStream()) return 0;
  FeedLoop();
  return 0;
}

void CStreamPlayThread::CloseStream() {
  TraceMessage("[LUMARO] - Come into CloseStream");
  bool was_playing = false;
  bool display_set = false;
  {
    std::lock_guard<platform::CriticalSection> guard(m_cs);
    if (m_bClosed) {
      m_dataEvent.Set();
      return;
    }
    m_bClosed = true;
    was_playing = m_bPlaying;
    m_bPlaying = false;
    display_set = m_bDisplaySet;
    m_bDisplaySet = false;
  }
  if (was_playing) {
    Pellix_StopSound(m_nWindow);
    Pellix_Stop(m_nWindow);
    m_dataEvent.Reset();
  }
  // The port may next play a local file for another owner: it must not keep calling ours.
  if (display_set) Pellix_SetDisplayCallBack(m_nWindow, nullptr, nullptr);
  if (was_playing) {
    Pellix_ResetSourceBuffer(m_nWindow);
    Pellix_CloseStream(m_nWindow);
  }
  {
    std::lock_guard<platform::CriticalSection> guard(m_cs);
    m_file.Close();
    TraceMessage("[LUMARO] - ---------CloseHandle-----------");
  }
  m_dataEvent.Set();
  TraceMessage("[LUMARO] - Leave CloseStream");
}

}  // namespace lumaro
