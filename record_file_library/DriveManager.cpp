#include "record_file_library/DriveManager.h"

#include <cstdlib>
#include <mutex>

#include "common/TraceMessage.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "record_file_library/DealDriversThread.h"

namespace stordane {

std::string DriveManagerSettings::ProfilePath() {
  if (const char* path = std::getenv("STORDANE_DRIVES_INI"); path != nullptr && path[0] != '\0') {
    return path;
  }
  return platform::ProgramFolder() + "\\Stordane.ini";
}

DriveManagerSettings DriveManagerSettings::Load(const std::string& profile_path) {
  const char* file = profile_path.c_str();
  const char* section = "DealDrivers";
  DriveManagerSettings settings;
  char letters[33] = {};
  platform::GetPrivateProfileString(section, "Drives", "", letters, sizeof(letters), file);
  for (const char* p = letters; *p != '\0'; ++p) {
    const char c = *p;
    if (c >= 'a' && c <= 'z') settings.letters += static_cast<char>(c - 'a' + 'A');
    else if (c >= 'A' && c <= 'Z') settings.letters += c;
  }
  const std::string mask = platform::ReadProfileString(profile_path, section, "UsableMask", "");
  if (!mask.empty()) settings.usable_mask = static_cast<std::uint32_t>(std::strtoul(mask.c_str(), nullptr, 0));
  settings.current = platform::GetPrivateProfileInt(section, "CurrentDrive", 0, file);
  settings.reserve_mb = platform::GetPrivateProfileInt(section, "ReserveMB", 0, file);
  settings.no_space = platform::GetPrivateProfileInt(section, "NoSpace", 0, file);
  settings.df_hours = platform::GetPrivateProfileInt(section, "DFHours", 0, file);
  const int interval = platform::GetPrivateProfileInt(section, "PassIntervalMs", 120000, file);
  settings.pass_interval_ms = interval > 0 ? static_cast<std::uint32_t>(interval) : 120000u;
  return settings;
}

DriveManager::DriveManager(RecordingIndex& index, std::function<bool(const std::string&)> is_recording)
    : index_(index), is_recording_(std::move(is_recording)) {}

DriveManager::~DriveManager() { Stop(); }

unsigned DriveManager::Start() {
  // A worker retired by a stop from its own callback is destroyed after the lock is let go:
  // destroying it waits for its last steps, which may want the lock (a callback starting or
  // stopping the manager again).
  std::unique_ptr<DealDriversThread> retired;
  std::lock_guard<platform::CriticalSection> guard(worker_lock_);
  if (worker_) return 0;
  if (retired_ && retired_->ThreadId() != platform::CurrentThreadId()) retired = std::move(retired_);
  settings_ = DriveManagerSettings::Load(DriveManagerSettings::ProfilePath());
  drivers_.Configure(settings_.letters, settings_.usable_mask, settings_.current);
  try {
    worker_ = std::make_unique<DealDriversThread>(*this);
  } catch (const std::exception&) {
    TraceMessage("DealDriversThread not created");
    return OX_ERR_PARAM;
  }
  if (worker_->Resume() < 0) {
    worker_.reset();
    return OX_ERR_PARAM;
  }
  return 0;
}

unsigned DriveManager::Stop() {
  std::unique_ptr<DealDriversThread> worker;
  std::unique_ptr<DealDriversThread> retired;
  {
    std::lock_guard<platform::CriticalSection> guard(worker_lock_);
    worker = std::move(worker_);
    if (worker && worker->ThreadId() == platform::CurrentThreadId()) {
      // Called from the callback on the worker itself: its pass is still on the stack, so
      // the object must outlive this call. It only learns to stop; the next Start, Stop
      // or the manager's end destroys it from another thread.
      worker->KillThread();
      retired_ = std::move(worker);
      return 0;
    }
    retired = std::move(retired_);
  }
  if (worker) worker->KillThread();
  return 0;
}

}  // namespace stordane
