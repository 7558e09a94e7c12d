#include "live_client/core/CThreadSingleConnect.h"

#include "common/TraceMessage.h"

CThreadSingleConnect::CThreadSingleConnect(int window, platform::Event* connect,
                                           platform::Event* disconnect,
                                           platform::Event* startRecord,
                                           platform::Event* stopRecord, platform::Event* idle,
                                           ConnectCommandHandler handler)
    : window_(window),
      connect_(connect),
      disconnect_(disconnect),
      startRecord_(startRecord),
      stopRecord_(stopRecord),
      idle_(idle),
      handler_(std::move(handler)) {}

CThreadSingleConnect::~CThreadSingleConnect() { KillThread(); }

bool CThreadSingleConnect::KillThread() {
  const bool result = CThread::KillThread();
  TraceMessage("Exit KillThread");
  return result;
}

uint32_t CThreadSingleConnect::Run() {
  platform::Event* stop = StopEvent();
  if (!stop || !connect_ || !disconnect_ || !startRecord_ || !stopRecord_ || !idle_)
    return static_cast<uint32_t>(-1);
  for (;;) {
    platform::Waitable* objects[] = {stop, connect_, disconnect_, startRecord_, stopRecord_};
    const uint32_t result = platform::WaitForAny(objects, platform::INFINITE);
    if (result == platform::WAIT_OBJECT_0 || result == platform::WAIT_FAILED ||
        IsStopRequested())
      break;
    static constexpr ConnectCommand kByIndex[] = {ConnectCommand::None, ConnectCommand::Connect,
                                                   ConnectCommand::Disconnect,
                                                   ConnectCommand::StartRecord,
                                                   ConnectCommand::StopRecord};
    const uint32_t index = result - platform::WAIT_OBJECT_0;
    if (index >= 5) continue;
    idle_->Reset();
    if (handler_) handler_(window_, kByIndex[index]);
    else TraceMessage("[KORVEL] - window %d: command %u has no connection code", window_, index);
    ++commands_;
    idle_->Set();
  }
  TraceMessage("[KORVEL] - Exit run: %d", window_);
  return 0;
}
