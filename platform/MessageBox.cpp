#include "platform/MessageBox.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <utility>

namespace platform {

namespace {

// The record keeps the most recent boxes only, so an unattended run that shows a box now and
// then for weeks does not grow without bound.
constexpr std::size_t kMaxRecordedBoxes = 1000;

struct MessageBoxService {
  std::mutex lock;
  // Guarded by lock.
  MessageBoxHandler handler;
  std::deque<int> scripted;
  int default_answer = 0;
  std::vector<MessageBoxRequest> shown;
  // Read without the lock by handlers that poll it while they wait.
  std::atomic<bool> closed{false};
};

MessageBoxService& Service() {
  static MessageBoxService* service = new MessageBoxService;
  return *service;
}

}  // namespace

int DefaultMessageBoxAnswer(unsigned type) {
  static const int kButtons[][3] = {
      {IDOK, IDOK, IDOK},              // MB_OK
      {IDOK, IDCANCEL, IDCANCEL},      // MB_OKCANCEL
      {IDABORT, IDRETRY, IDIGNORE},    // MB_ABORTRETRYIGNORE
      {IDYES, IDNO, IDCANCEL},         // MB_YESNOCANCEL
      {IDYES, IDNO, IDNO},             // MB_YESNO
      {IDRETRY, IDCANCEL, IDCANCEL},   // MB_RETRYCANCEL
  };
  unsigned set = type & MB_TYPEMASK;
  if (set >= sizeof kButtons / sizeof kButtons[0]) return IDOK;
  unsigned button = (type & MB_DEFMASK) >> 8;
  if (button > 2) button = 0;
  return kButtons[set][button];
}

int MessageBox(void* owner, std::string_view text, std::string_view caption, unsigned type) {
  MessageBoxRequest request{owner, std::string(text), std::string(caption), type};
  MessageBoxService& service = Service();
  MessageBoxHandler handler;
  int answer = 0;
  {
    std::lock_guard<std::mutex> guard(service.lock);
    if (service.shown.size() >= kMaxRecordedBoxes) service.shown.erase(service.shown.begin());
    service.shown.push_back(request);
    if (!service.scripted.empty()) {
      answer = service.scripted.front();
      service.scripted.pop_front();
      return answer;
    }
    handler = service.handler;
    answer = service.default_answer;
  }
  if (handler && !service.closed) return handler(request);
  return answer != 0 ? answer : DefaultMessageBoxAnswer(type);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxService& service = Service();
  std::lock_guard<std::mutex> guard(service.lock);
  std::swap(service.handler, handler);
  return handler;
}

void ScriptMessageBoxAnswers(std::vector<int> answers) {
  MessageBoxService& service = Service();
  std::lock_guard<std::mutex> guard(service.lock);
  service.scripted.insert(service.scripted.end(), answers.begin(), answers.end());
}

void SetDefaultMessageBoxAnswer(int answer) {
  MessageBoxService& service = Service();
  std::lock_guard<std::mutex> guard(service.lock);
  service.default_answer = answer;
}

std::vector<MessageBoxRequest> ShownMessageBoxes() {
  MessageBoxService& service = Service();
  std::lock_guard<std::mutex> guard(service.lock);
  return service.shown;
}

void ResetMessageBoxes() {
  MessageBoxService& service = Service();
  std::lock_guard<std::mutex> guard(service.lock);
  service.shown.clear();
  service.scripted.clear();
  service.default_answer = 0;
  service.closed = false;
}

void CloseMessageBoxes() { Service().closed = true; }

bool MessageBoxesClosed() { return Service().closed; }

}  // namespace platform
