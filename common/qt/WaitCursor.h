#pragma once

// The wait cursor for the length of a scope: shown on construction, taken back on
// destruction, so an early return or an exception never leaves the operator with an
// hourglass. Nested scopes stack, as Qt's override cursor does.

#include <QApplication>

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};
