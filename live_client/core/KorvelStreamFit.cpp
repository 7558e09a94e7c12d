#include "live_client/core/KorvelStreamFit.h"

#include <algorithm>
#include <cstdlib>

#include "common/TraceMessage.h"
#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/KorvelPreview.h"
#include "live_client/core/PageInfo.h"
#include "platform/Profile.h"

int ChooseCameraProfile(const std::vector<CameraProfileSize>& profiles, int width, int height,
                        bool alone) {
  auto area = [](const CameraProfileSize& size) {
    return static_cast<long long>(size.width) * size.height;
  };
  int largest = -1;
  int fitting = -1;
  for (int i = 0; i < static_cast<int>(profiles.size()); ++i) {
    const CameraProfileSize& profile = profiles[i];
    if (profile.width <= 0 || profile.height <= 0) continue;
    if (largest < 0 || area(profile) > area(profiles[largest])) largest = i;
    if (profile.width >= width && profile.height >= height &&
        (fitting < 0 || area(profile) < area(profiles[fitting])))
      fitting = i;
  }
  if (alone || fitting < 0) return largest;
  return fitting;
}

bool ReadFitStreamToWindow(const std::string& clientFolder) {
  const std::string path = clientFolder + "\\Setting.ini";
  char buffer[16];
  platform::GetPrivateProfileString("Setting", "FitStreamToWindow", "1", buffer, sizeof buffer,
                                    path.c_str());
  // Anything but a plain 0 leaves the fitting on: a typo must not cost every grid its load.
  return std::string(buffer) != "0";
}

CStreamFitter::CStreamFitter(CKorvelDlg& dialog) : dialog_(dialog) {
  thread_ = std::thread([this] { Run(); });
}

CStreamFitter::~CStreamFitter() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void CStreamFitter::Request(int page, int window, int profile) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    wanted_.erase(std::remove_if(wanted_.begin(), wanted_.end(),
                                 [&](const Wanted& w) { return w.page == page && w.window == window; }),
                  wanted_.end());
    wanted_.push_back({page, window, profile});
  }
  wake_.notify_all();
}

void CStreamFitter::JoinOpenings(bool all) {
  for (;;) {
    std::thread ended;
    {
      std::lock_guard<std::mutex> guard(lock_);
      auto it = std::find_if(openings_.begin(), openings_.end(),
                             [&](const Opening& opening) { return all || opening.done; });
      if (it == openings_.end()) return;
      ended.swap(it->thread);
      openings_.erase(it);
    }
    if (ended.joinable()) ended.join();
  }
}

void CStreamFitter::Run() {
  // Requests of windows still moving wait here for the move to settle.
  std::vector<Wanted> deferred;
  for (;;) {
    std::deque<Wanted> fresh;
    {
      std::unique_lock<std::mutex> guard(lock_);
      // Moves under way are tended every 50 ms: a new stream's first picture is shown at
      // once by its own thread, and the old stream should not run on much longer.
      wake_.wait_for(guard, std::chrono::milliseconds(50), [this] { return stop_ || !wanted_.empty(); });
      if (stop_) break;
      fresh.swap(wanted_);
    }
    JoinOpenings(false);
    TendCameraStreamMoves(kFirstPictureTimeout);
    for (const Wanted& wanted : fresh) {
      deferred.erase(std::remove_if(deferred.begin(), deferred.end(),
                                    [&](const Wanted& w) {
                                      return w.page == wanted.page && w.window == wanted.window;
                                    }),
                     deferred.end());
      deferred.push_back(wanted);
    }
    std::vector<Wanted> later;
    for (const Wanted& wanted : deferred) {
      std::lock_guard<std::mutex> guard(lock_);
      const bool opening = std::any_of(openings_.begin(), openings_.end(), [&](const Opening& o) {
        return o.page == wanted.page && o.window == wanted.window;
      });
      if (opening || static_cast<int>(openings_.size()) >= kOpensAtOnce ||
          CameraStreamMoving(wanted.page, wanted.window)) {
        later.push_back(wanted);
        continue;
      }
      openings_.push_back({wanted.page, wanted.window, std::thread(), false});
      Opening& opening_entry = openings_.back();
      opening_entry.thread = std::thread([this, wanted] {
        CCameraInfo& slot = g_PageInfo[wanted.page].camera[wanted.window];
        MoveCameraStream(&dialog_, slot, wanted.page, wanted.window, wanted.profile, StreamMove::Fit);
        {
          std::lock_guard<std::mutex> done(lock_);
          for (Opening& o : openings_)
            if (o.page == wanted.page && o.window == wanted.window) o.done = true;
        }
        wake_.notify_all();
      });
    }
    deferred.swap(later);
  }
  JoinOpenings(true);
}
