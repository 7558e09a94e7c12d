#include "live_client/settings/CTaskbarNotifier.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QTimerEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cstring>

#include "live_client/skin/CEnBitmap.h"
#include "common/qt/SystemText.h"
#include "platform/Window.h"

namespace {

CTaskbarNotifier::DesktopProvider& Provider() {
  static CTaskbarNotifier::DesktopProvider provider;
  return provider;
}

QColor FromColorRef(unsigned colorRef) {
  return QColor(colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
}

}  // namespace

void CTaskbarNotifier::SetDesktopProvider(DesktopProvider provider) {
  Provider() = std::move(provider);
}

CTaskbarNotifier::CTaskbarNotifier(QWidget* parent, void* owner)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus),
      owner_(owner) {
  setObjectName(QStringLiteral("CTaskbarNotifier"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_Hover);
  setMouseTracking(true);
  resize(200, 100);
  textRect_ = rect();
}

bool CTaskbarNotifier::SetSkin(const std::string& path, int transparent) {
  CEnBitmap bitmap;
  const bool loaded = bitmap.LoadImage(path);
  skin_ = bitmap.Image();
  if (!loaded) return false;
  setFixedSize(skin_.size());
  if (transparent >= 0) {
    const QColor key = FromColorRef(static_cast<unsigned>(transparent));
    setMask(QBitmap::fromImage(skin_.createMaskFromColor(key.rgb(), Qt::MaskInColor)));
  } else {
    clearMask();
  }
  update();
  return true;
}

void CTaskbarNotifier::SetTextFont(const std::string& face, int sizeTenths) {
  font_ = QFont(QString::fromStdString(face));
  font_.setPointSizeF(std::max(1, sizeTenths) / 10.0);
  update();
}

void CTaskbarNotifier::SetTextColor(unsigned normal, unsigned hover) {
  normalColor_ = FromColorRef(normal);
  hoverColor_ = FromColorRef(hover);
  update();
}

void CTaskbarNotifier::SetTextRect(const QRect& rect) {
  textRect_ = rect;
  update();
}

void CTaskbarNotifier::SetTextStyle(unsigned flags) {
  style_ = flags;
  update();
}

CTaskbarNotifier::Desktop CTaskbarNotifier::CurrentDesktop() const {
  if (Provider()) return Provider()();
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {QRect(0, 0, 1024, 768), QRect(0, 0, 1024, 768)};
  return {screen->geometry(), screen->availableGeometry()};
}

int CTaskbarNotifier::StepCount() const {
  const int size = (edge_ == Qt::LeftEdge || edge_ == Qt::RightEdge) ? width() : height();
  return std::max(1, size / std::max(1, step_));
}

QPoint CTaskbarNotifier::ShownPosition() const {
  const QRect& work = desktop_.workArea;
  switch (edge_) {
    case Qt::TopEdge: return {work.right() + 1 - width(), work.top()};
    case Qt::LeftEdge: return {work.left(), work.bottom() + 1 - height()};
    case Qt::RightEdge: return {work.right() + 1 - width(), work.bottom() + 1 - height()};
    case Qt::BottomEdge:
    default: return {work.right() + 1 - width(), work.bottom() + 1 - height()};
  }
}

void CTaskbarNotifier::PlaceOutside() {
  desktop_ = CurrentDesktop();
  const QRect& screen = desktop_.screen;
  const QRect& work = desktop_.workArea;
  // The taskbar takes the side where the work area stops short of the screen.
  if (work.top() > screen.top()) edge_ = Qt::TopEdge;
  else if (work.left() > screen.left()) edge_ = Qt::LeftEdge;
  else if (work.right() < screen.right()) edge_ = Qt::RightEdge;
  else edge_ = Qt::BottomEdge;

  QPoint start = ShownPosition();
  switch (edge_) {
    case Qt::TopEdge: start.setY(work.top() - height()); break;
    case Qt::LeftEdge: start.setX(work.left() - width()); break;
    case Qt::RightEdge: start.setX(work.right() + 1); break;
    case Qt::BottomEdge: start.setY(work.bottom() + 1); break;
  }
  move(start);
}

bool CTaskbarNotifier::StepInward() {
  const QPoint target = ShownPosition();
  QPoint at = pos();
  switch (edge_) {
    case Qt::TopEdge: at.setY(std::min(at.y() + step_, target.y())); break;
    case Qt::LeftEdge: at.setX(std::min(at.x() + step_, target.x())); break;
    case Qt::RightEdge: at.setX(std::max(at.x() - step_, target.x())); break;
    case Qt::BottomEdge: at.setY(std::max(at.y() - step_, target.y())); break;
  }
  move(at);
  return at == target;
}

bool CTaskbarNotifier::StepOutward() {
  const QRect& work = desktop_.workArea;
  QPoint at = pos();
  bool gone = false;
  switch (edge_) {
    case Qt::TopEdge:
      at.setY(at.y() - step_);
      gone = at.y() + height() <= work.top();
      break;
    case Qt::LeftEdge:
      at.setX(at.x() - step_);
      gone = at.x() + width() <= work.left();
      break;
    case Qt::RightEdge:
      at.setX(at.x() + step_);
      gone = at.x() > work.right();
      break;
    case Qt::BottomEdge:
      at.setY(at.y() + step_);
      gone = at.y() > work.bottom();
      break;
  }
  move(at);
  return gone;
}

void CTaskbarNotifier::StopTimers() {
  appearTimer_.stop();
  stayTimer_.stop();
  hideTimer_.stop();
}

void CTaskbarNotifier::StartStay() {
  StopTimers();
  move(ShownPosition());
  state_ = State::Showing;
  stayTimer_.start(std::max(0, stayMs_), this);
}

void CTaskbarNotifier::Show(const std::string& caption, const std::string& text, int appear_ms,
                            int stay_ms, int hide_ms, int step) {
  caption_ = caption;
  text_ = text;
  stayMs_ = stay_ms;
  step_ = std::max(1, step);
  update();

  switch (state_) {
    case State::Appearing:
      // Already on its way in: the new text rides along.
      return;
    case State::Showing:
    case State::Hiding:
      StartStay();
      return;
    case State::Hidden:
      break;
  }
  PlaceOutside();
  appearInterval_ = std::max(1, appear_ms / StepCount());
  hideInterval_ = std::max(1, hide_ms / StepCount());
  state_ = State::Appearing;
  show();
  raise();
  appearTimer_.start(appearInterval_, this);
}

void CTaskbarNotifier::Hide() {
  StopTimers();
  state_ = State::Hidden;
  hide();
}

void CTaskbarNotifier::timerEvent(QTimerEvent* event) {
  if (event->timerId() == appearTimer_.timerId()) {
    if (StepInward()) StartStay();
  } else if (event->timerId() == stayTimer_.timerId()) {
    stayTimer_.stop();
    state_ = State::Hiding;
    hideTimer_.start(hideInterval_, this);
  } else if (event->timerId() == hideTimer_.timerId()) {
    if (StepOutward()) Hide();
  } else {
    QWidget::timerEvent(event);
  }
}

void CTaskbarNotifier::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!skin_.isNull()) {
    painter.drawImage(0, 0, skin_);
  } else {
    painter.fillRect(rect(), QColor(236, 242, 250));
    painter.setPen(QColor(40, 80, 140));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  QFont font = font_;
  // Highlighted texts read as a link, and so does any text under the mouse.
  font.setUnderline((style_ & kNotifierTextHighlight) != 0 || mouseOver_);
  painter.setFont(font);
  painter.setPen(mouseOver_ ? hoverColor_ : normalColor_);
  QString text = FromSystemText(text_);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  painter.drawText(textRect_, Qt::AlignCenter | Qt::TextWrapAnywhere, text);
}

void CTaskbarNotifier::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    Hide();
    return;
  }
  QWidget::mousePressEvent(event);
}

void CTaskbarNotifier::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    // The owner reads the text when it handles the message, later; it gets a copy that stays
    // put however often the shown text changes in between.
    const std::size_t length = std::min(text_.size(), clickText_.size() - 1);
    std::memcpy(clickText_.data(), text_.data(), length);
    clickText_[length] = '\0';
    if (owner_)
      platform::PostMessage(owner_, kNotifierClickMessage,
                            reinterpret_cast<platform::WPARAM>(clickText_.data()), 0);
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

void CTaskbarNotifier::enterEvent(QEnterEvent* event) {
  mouseOver_ = true;
  setCursor(Qt::PointingHandCursor);
  update();
  QWidget::enterEvent(event);
}

void CTaskbarNotifier::leaveEvent(QEvent* event) {
  mouseOver_ = false;
  unsetCursor();
  update();
  QWidget::leaveEvent(event);
}
