#pragma once

// The pop-up notifier: a skinned window that slides out from the taskbar edge, shows a short
// text for a while and slides back. The main dialog shows snapshot results in it.
//
// Its size is the skin picture's; pixels of the transparent colour (if one is given) are cut out
// of the window. The edge it slides from is found by comparing the desktop's work area with the
// screen: the side where the work area is smaller holds the taskbar (bottom when none is).
//
// Mouse: releasing the left button over it posts 1147 to the owner window with a pointer to the
// notifier's current text (the notifier keeps that text until the next click) and 0; pressing
// the right button hides it at once. While the mouse is over it the text takes the highlighted
// look and the hand cursor shows.
//
// User-interface thread only.

#include <QBasicTimer>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

// Posted to the owner on a left-button release; wParam is a const char* to the text.
inline constexpr unsigned kNotifierClickMessage = 1147;

// Text look chosen before a show: with this flag the text is drawn as a link (underlined), the
// look of a text the operator can open by clicking.
inline constexpr unsigned kNotifierTextHighlight = 1;

class CTaskbarNotifier : public QWidget {
  Q_OBJECT

 public:
  enum class State { Hidden, Appearing, Showing, Hiding };

  // Screen rectangle and work area of the desktop; tests put the taskbar where they need it.
  struct Desktop {
    QRect screen;
    QRect workArea;
  };
  using DesktopProvider = std::function<Desktop()>;
  // Replaces how the desktop is measured; an empty function restores the screen's own.
  static void SetDesktopProvider(DesktopProvider provider);

  // `owner` receives message 1147 (a platform window handle, may be null).
  explicit CTaskbarNotifier(QWidget* parent = nullptr, void* owner = nullptr);

  // Loads the skin picture; the window takes its size. `transparent` < 0: no transparent colour;
  // otherwise a COLORREF (0x00BBGGRR) whose pixels are cut out. False (after the loader's
  // message) when the picture cannot be loaded; the notifier then keeps a plain face.
  bool SetSkin(const std::string& path, int transparent = -1);
  // Font face and size in tenths of a point (90 = 9 pt).
  void SetTextFont(const std::string& face, int sizeTenths);
  // Text colours as COLORREF (0x00BBGGRR): normal and while the mouse is over the window.
  void SetTextColor(unsigned normal, unsigned hover);
  // Where the text is drawn inside the picture.
  void SetTextRect(const QRect& rect);
  // kNotifierTextHighlight or 0; applies to the next texts shown.
  void SetTextStyle(unsigned flags);

  // Shows `text`: slides in over `appear_ms`, stays `stay_ms`, slides out over `hide_ms`, moving
  // `step` pixels at a time. Already fully shown: the text is replaced and the stay starts
  // again. Hiding: it comes back fully shown for a new stay. Appearing: the text is replaced.
  void Show(const std::string& caption, const std::string& text, int appear_ms, int stay_ms,
            int hide_ms, int step);
  // Hides at once.
  void Hide();

  State AnimationState() const { return state_; }
  const std::string& Caption() const { return caption_; }
  const std::string& Text() const { return text_; }
  unsigned TextStyle() const { return style_; }
  bool IsMouseOver() const { return mouseOver_; }
  // Edge it slides from, as Qt's edge flag.
  Qt::Edge SlideEdge() const { return edge_; }
  // Timer periods of the current animation (ms per step).
  int AppearIntervalMs() const { return appearInterval_; }
  int HideIntervalMs() const { return hideInterval_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  Desktop CurrentDesktop() const;
  void PlaceOutside();
  // Position where the whole window is visible inside the work area.
  QPoint ShownPosition() const;
  // One step towards (inward) or away from (outward) the shown position; true when done.
  bool StepInward();
  bool StepOutward();
  int StepCount() const;
  void StartStay();
  void StopTimers();

  void* owner_ = nullptr;
  QImage skin_;
  QFont font_;
  QColor normalColor_{0, 0, 200};
  QColor hoverColor_{0, 0, 200};
  QRect textRect_;
  unsigned style_ = 0;
  std::string caption_;
  std::string text_;
  // The text handed out with the last click; stays valid until the next click.
  std::array<char, 1024> clickText_{};

  State state_ = State::Hidden;
  Desktop desktop_;
  Qt::Edge edge_ = Qt::BottomEdge;
  int step_ = 1;
  int stayMs_ = 0;
  int appearInterval_ = 0;
  int hideInterval_ = 0;
  bool mouseOver_ = false;
  QBasicTimer appearTimer_;
  QBasicTimer stayTimer_;
  QBasicTimer hideTimer_;
};
