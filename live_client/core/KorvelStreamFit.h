#pragma once

// The stream that fits the window: a network camera logged in through its services offers
// its picture in several profiles (sizes). A window in a grid of four or more shows the
// smallest profile at least as large as the window, in device pixels; a window shown alone
// or full screen shows the largest. The choice is made on the user-interface thread after
// the layout settles and on the status timer; the streams move on a worker of their own
// (opening a stream blocks), seamlessly (see MoveCameraStream in KorvelPreview.h). Windows
// that record keep their slot's profile.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CKorvelDlg;

struct CameraProfileSize {
  int width = 0;
  int height = 0;
};

// The profile (index into `profiles`) for a window of width x height device pixels: the
// largest when `alone`, else the smallest whose sides both reach the window's, or the largest
// when none does. Profiles without a size are never chosen; -1 when none has one.
int ChooseCameraProfile(const std::vector<CameraProfileSize>& profiles, int width, int height,
                        bool alone);

// "Setting.ini", section "Setting", key "FitStreamToWindow": 1 (the default) lets camera
// windows show the stream that fits them; 0 keeps every window on its slot's profile.
bool ReadFitStreamToWindow(const std::string& clientFolder);

// The worker that moves camera windows between profiles and tends the moves under way.
class CStreamFitter {
 public:
  // Streams opened at once, at most: opening waits on the camera (its description and its
  // first key frame), so a grid of cameras opens side by side rather than one by one.
  static constexpr int kOpensAtOnce = 4;
  // A new stream that has shown no picture this long after it opened is given up. Its first
  // picture waits for its first key frame, and cameras send one every 1 to 10 s.
  static constexpr std::chrono::milliseconds kFirstPictureTimeout{12000};

  explicit CStreamFitter(CKorvelDlg& dialog);
  ~CStreamFitter();
  CStreamFitter(const CStreamFitter&) = delete;
  CStreamFitter& operator=(const CStreamFitter&) = delete;

  // Any thread: window `window` of page `page` should show `profile`. A later request for
  // the same window replaces one not yet taken up.
  void Request(int page, int window, int profile);

 private:
  struct Wanted {
    int page;
    int window;
    int profile;
  };
  struct Opening {
    int page;
    int window;
    std::thread thread;
    bool done = false;  // Guarded by lock_
  };
  void Run();
  // Joins the openings that ended; all of them with `all` (waiting for those still open).
  void JoinOpenings(bool all);

  CKorvelDlg& dialog_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<Wanted> wanted_;  // Guarded by lock_
  bool stop_ = false;          // Guarded by lock_
  std::deque<Opening> openings_;  // Guarded by lock_ (the threads are joined by Run only)
  std::thread thread_;
};
