#pragma once

// Message boxes: one service for the whole process (part of libplatform.so).
//
// The programs install an interactive handler; tests and unattended runs script the answers.
// Every box shown is recorded (text, caption, type), whoever answers it. Texts are the system's
// 8-bit texts (code page 936 where not ASCII) and are recorded as given; a handler that shows
// them converts them itself.
//
// Who answers a box, in this order:
//   1. the next scripted answer, if any is queued;
//   2. the installed handler, if any;
//   3. the default answer: the one set with SetDefaultMessageBoxAnswer, or else the box's
//      default button (MB_DEFBUTTON1..3 of its button set; IDOK for MB_OK).
// Once CloseMessageBoxes was called (the program is closing), every box gets the default
// answer at once, the handler is no longer asked, and a handler that waits for an answer from
// another thread gives up its wait with the default.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Button sets.
inline constexpr unsigned MB_OK = 0x00000000;
inline constexpr unsigned MB_OKCANCEL = 0x00000001;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x00000002;
inline constexpr unsigned MB_YESNOCANCEL = 0x00000003;
inline constexpr unsigned MB_YESNO = 0x00000004;
inline constexpr unsigned MB_RETRYCANCEL = 0x00000005;
inline constexpr unsigned MB_TYPEMASK = 0x0000000F;
// Icons.
inline constexpr unsigned MB_ICONHAND = 0x00000010;
inline constexpr unsigned MB_ICONERROR = 0x00000010;
inline constexpr unsigned MB_ICONSTOP = 0x00000010;
inline constexpr unsigned MB_ICONQUESTION = 0x00000020;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x00000030;
inline constexpr unsigned MB_ICONWARNING = 0x00000030;
inline constexpr unsigned MB_ICONASTERISK = 0x00000040;
inline constexpr unsigned MB_ICONINFORMATION = 0x00000040;
inline constexpr unsigned MB_ICONMASK = 0x000000F0;
// Default button.
inline constexpr unsigned MB_DEFBUTTON1 = 0x00000000;
inline constexpr unsigned MB_DEFBUTTON2 = 0x00000100;
inline constexpr unsigned MB_DEFBUTTON3 = 0x00000200;
inline constexpr unsigned MB_DEFMASK = 0x00000F00;
// Modality and placement.
inline constexpr unsigned MB_APPLMODAL = 0x00000000;
inline constexpr unsigned MB_SYSTEMMODAL = 0x00001000;
inline constexpr unsigned MB_TASKMODAL = 0x00002000;
inline constexpr unsigned MB_SETFOREGROUND = 0x00010000;
inline constexpr unsigned MB_TOPMOST = 0x00040000;

// Answers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

struct MessageBoxRequest {
  void* owner = nullptr;  // HWND of the owner window, may be null
  std::string text;
  std::string caption;
  unsigned type = MB_OK;
};

// Shows the box and returns the answer (IDOK, IDYES, ...). Called on the thread that shows the
// box (a Qt handler runs it modally on the UI thread).
using MessageBoxHandler = std::function<int(const MessageBoxRequest& request)>;

// Shows a message box and returns the answer. Any thread; the handler is called without the
// service's lock held, so a handler may itself show a box.
int MessageBox(void* owner, std::string_view text, std::string_view caption, unsigned type);

// Installs the interactive handler (an empty one removes it) and returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Queues answers that the next boxes get, in order, ahead of any handler.
void ScriptMessageBoxAnswers(std::vector<int> answers);
// Answer for boxes that nobody else answers; 0 restores the box's own default button.
void SetDefaultMessageBoxAnswer(int answer);
// The boxes shown so far, oldest first (the most recent 1000).
std::vector<MessageBoxRequest> ShownMessageBoxes();
// Forgets the record, the scripted answers, the default answer and the closing (not the handler).
void ResetMessageBoxes();

// The program is closing: nobody is left to answer, and a worker waiting for an answer would
// hold up its exit. Boxes asked from now on are answered with their default at once.
void CloseMessageBoxes();
bool MessageBoxesClosed();

// The default button's answer for a box type (MB_YESNO -> IDYES, MB_YESNO|MB_DEFBUTTON2 -> IDNO).
int DefaultMessageBoxAnswer(unsigned type);

}  // namespace platform
