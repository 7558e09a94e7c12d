#include "platform/Window.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <shared_mutex>
#include <unordered_set>
#include <utility>

// Lock order: the registry lock, then a window's lock_, then a pending send's lock. The timer
// service's lock is never held while any other is taken.

namespace platform {

namespace {

// The process-wide window registry: every live Window, so that a handle can be checked before
// it is used. Never destroyed, so windows closed during static destruction still find it.
struct Registry {
  std::shared_mutex lock;
  std::unordered_set<Window*> windows;  // Guarded by lock
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

// One thread posts WM_TIMER for every window timer; it starts with the first timer.
class TimerService {
 public:
  static TimerService& Instance() {
    static TimerService* service = new TimerService;
    return *service;
  }

  void Set(Window* window, unsigned id, unsigned interval_ms) {
    std::lock_guard<std::mutex> guard(lock_);
    auto interval = std::chrono::milliseconds(std::max(1u, interval_ms));
    timers_[{window, id}] = Timer{interval, std::chrono::steady_clock::now() + interval};
    if (!thread_started_) {
      thread_started_ = true;
      std::thread([this] { Run(); }).detach();
    }
    changed_.notify_all();
  }

  bool Kill(Window* window, unsigned id) {
    std::lock_guard<std::mutex> guard(lock_);
    return timers_.erase({window, id}) > 0;
  }

  void KillAll(Window* window) {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = timers_.begin(); it != timers_.end();) {
      it = it->first.first == window ? timers_.erase(it) : std::next(it);
    }
  }

 private:
  struct Timer {
    std::chrono::milliseconds interval;
    std::chrono::steady_clock::time_point due;
  };

  void Run() {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
      auto now = std::chrono::steady_clock::now();
      auto next = now + std::chrono::hours(1);
      std::vector<std::pair<Window*, unsigned>> fire;
      for (auto& [key, timer] : timers_) {
        if (timer.due <= now) {
          fire.push_back(key);
          // A late tick is not made up for: the next one is an interval from now.
          timer.due = now + timer.interval;
        }
        next = std::min(next, timer.due);
      }
      if (!fire.empty()) {
        lock.unlock();
        for (auto& [window, id] : fire) PostMessage(window, WM_TIMER, id, 0);
        lock.lock();
        continue;
      }
      changed_.wait_until(lock, next);
    }
  }

  std::mutex lock_;
  std::condition_variable changed_;
  // Guarded by lock_.
  std::map<std::pair<Window*, unsigned>, Timer> timers_;
  bool thread_started_ = false;
};

}  // namespace

struct Window::Pending {
  Message message;
  bool sent = false;
  std::mutex lock;
  std::condition_variable finished;
  // Guarded by lock.
  bool done = false;
  LRESULT result = 0;

  void Finish(LRESULT value) {
    std::lock_guard<std::mutex> guard(lock);
    done = true;
    result = value;
    finished.notify_all();
  }
};

Window::Window() : owner_(std::this_thread::get_id()) {
  Registry& registry = TheRegistry();
  std::unique_lock<std::shared_mutex> guard(registry.lock);
  registry.windows.insert(this);
}

Window::~Window() { CloseWindow(); }

void Window::CloseWindow() {
  {
    Registry& registry = TheRegistry();
    std::unique_lock<std::shared_mutex> guard(registry.lock);
    registry.windows.erase(this);
  }
  TimerService::Instance().KillAll(this);
  std::deque<std::shared_ptr<Pending>> abandoned;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return;
    closed_ = true;
    abandoned.swap(queue_);
  }
  queue_changed_.notify_all();
  for (auto& pending : abandoned) {
    if (pending->sent) pending->Finish(0);
  }
}

void Window::SetMessageHandler(MessageHandler handler) {
  auto shared = handler ? std::make_shared<const MessageHandler>(std::move(handler)) : nullptr;
  std::lock_guard<std::mutex> guard(lock_);
  handler_ = std::move(shared);
}

bool Window::Post(const Message& message) {
  // The text pointer of WM_SETTEXT would not outlive a queued message.
  if (message.message == WM_SETTEXT) return false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return false;
    if (message.message == WM_TIMER) {
      // Like a screen window, at most one tick of a timer waits in the queue.
      for (auto& pending : queue_) {
        if (!pending->sent && pending->message.message == WM_TIMER &&
            pending->message.wParam == message.wParam) {
          return true;
        }
      }
    }
    if (queue_.size() >= kMaxQueuedMessages) return false;
    auto pending = std::make_shared<Pending>();
    pending->message = message;
    queue_.push_back(std::move(pending));
  }
  queue_changed_.notify_all();
  OnMessageQueued();
  return true;
}

std::shared_ptr<Window::Pending> Window::QueueSent(const Message& message) {
  auto pending = std::make_shared<Pending>();
  pending->message = message;
  pending->sent = true;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return nullptr;
    // A sender waits for its answer, so sent messages are not limited by the posting limit.
    queue_.push_back(pending);
  }
  queue_changed_.notify_all();
  OnMessageQueued();
  return pending;
}

LRESULT Window::WaitSent(const std::shared_ptr<Pending>& pending) {
  if (!pending) return 0;
  std::unique_lock<std::mutex> lock(pending->lock);
  pending->finished.wait(lock, [&] { return pending->done; });
  return pending->result;
}

LRESULT Window::Send(const Message& message) {
  if (IsOwnerThread()) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (closed_) return 0;
    }
    return Dispatch(message);
  }
  return WaitSent(QueueSent(message));
}

LRESULT Window::Dispatch(const Message& message) {
  std::shared_ptr<const MessageHandler> handler;
  {
    std::lock_guard<std::mutex> guard(lock_);
    handler = handler_;
  }
  LRESULT result = 0;
  if (message.message == WM_SETTEXT) {
    const char* text = reinterpret_cast<const char*>(message.lParam);
    SetText(text ? std::string_view(text) : std::string_view());
    result = 1;
  }
  if (handler) {
    LRESULT handled = (*handler)(message);
    if (message.message != WM_SETTEXT) result = handled;
  }
  return result;
}

void Window::SetText(std::string_view text) {
  std::lock_guard<std::mutex> guard(lock_);
  text_.assign(text);
}

std::string Window::Text() const {
  std::lock_guard<std::mutex> guard(lock_);
  return text_;
}

bool Window::SetTimer(unsigned id, unsigned interval_ms) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return false;
  }
  TimerService::Instance().Set(this, id, interval_ms);
  return true;
}

bool Window::KillTimer(unsigned id) { return TimerService::Instance().Kill(this, id); }

void Window::AdoptOwnerThread() {
  std::lock_guard<std::mutex> guard(lock_);
  owner_ = std::this_thread::get_id();
}

bool Window::IsOwnerThread() const {
  std::lock_guard<std::mutex> guard(lock_);
  return owner_ == std::this_thread::get_id();
}

bool Window::DequeueOne(std::unique_lock<std::mutex>& /*held lock_*/,
                        std::shared_ptr<Pending>& out) {
  if (queue_.empty()) return false;
  out = std::move(queue_.front());
  queue_.pop_front();
  return true;
}

int Window::PumpMessages() {
  // Only the messages waiting now: those a handler queues meanwhile wait for the next pump, so a
  // handler that posts to its own window cannot keep this loop busy forever.
  std::size_t budget = QueuedMessageCount();
  int count = 0;
  for (; budget > 0; --budget) {
    std::shared_ptr<Pending> pending;
    {
      std::unique_lock<std::mutex> lock(lock_);
      if (!DequeueOne(lock, pending)) break;
    }
    LRESULT result = Dispatch(pending->message);
    if (pending->sent) pending->Finish(result);
    ++count;
  }
  return count;
}

bool Window::PumpOneMessage(std::chrono::milliseconds timeout, Message* dispatched) {
  std::shared_ptr<Pending> pending;
  {
    std::unique_lock<std::mutex> lock(lock_);
    queue_changed_.wait_for(lock, timeout, [&] { return closed_ || !queue_.empty(); });
    if (!DequeueOne(lock, pending)) return false;
  }
  LRESULT result = Dispatch(pending->message);
  if (pending->sent) pending->Finish(result);
  if (dispatched) *dispatched = pending->message;
  return true;
}

std::size_t Window::QueuedMessageCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queue_.size();
}

// Handle functions. Each holds the registry lock (shared) while it touches the window, so the
// window cannot be destroyed under it; nothing here blocks while holding it.

namespace {

template <typename Action>
bool WithWindow(void* hwnd, Action&& action) {
  if (!hwnd) return false;
  Registry& registry = TheRegistry();
  std::shared_lock<std::shared_mutex> guard(registry.lock);
  auto it = registry.windows.find(static_cast<Window*>(hwnd));
  if (it == registry.windows.end()) return false;
  return action(**it);
}

}  // namespace

bool IsWindow(void* hwnd) {
  return WithWindow(hwnd, [](Window&) { return true; });
}

bool PostMessage(void* hwnd, unsigned message, WPARAM wParam, LPARAM lParam) {
  return WithWindow(hwnd, [&](Window& window) { return window.Post({message, wParam, lParam}); });
}

LRESULT SendMessage(void* hwnd, unsigned message, WPARAM wParam, LPARAM lParam) {
  Window* direct = nullptr;
  std::shared_ptr<Window::Pending> pending;
  bool found = WithWindow(hwnd, [&](Window& window) {
    if (window.IsOwnerThread()) {
      // Only the owner thread destroys its window, so it stays alive after the lock is gone;
      // the handler must run without the registry lock, since it may create or destroy windows.
      direct = &window;
    } else {
      pending = window.QueueSent({message, wParam, lParam});
    }
    return true;
  });
  if (!found) return 0;
  if (direct) return direct->Send({message, wParam, lParam});
  return Window::WaitSent(pending);
}

bool SetWindowText(void* hwnd, std::string_view text) {
  std::string copy(text);
  return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str())) != 0;
}

bool GetClientRect(void* hwnd, Rect& rect) {
  rect = Rect{};
  return WithWindow(hwnd, [&](Window& window) {
    rect = window.ClientRect();
    return true;
  });
}

bool PresentPicture(void* hwnd, const Picture& picture) {
  return WithWindow(hwnd, [&](Window& window) {
    window.Present(picture);
    return true;
  });
}

bool SetTimer(void* hwnd, unsigned id, unsigned interval_ms) {
  return WithWindow(hwnd, [&](Window& window) { return window.SetTimer(id, interval_ms); });
}

bool KillTimer(void* hwnd, unsigned id) {
  return WithWindow(hwnd, [&](Window& window) { return window.KillTimer(id); });
}

}  // namespace platform
