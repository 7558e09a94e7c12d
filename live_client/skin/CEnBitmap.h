#pragma once

// Picture loader of the skinned controls: ".BMP" files as bitmaps, ".JPG", ".JPEG", ".GIF"
// and ".ICO" through the picture decoder. A file that cannot be loaded shows the message box
// "LOAD IMAGE FAIL. [PATH]: <path>" once per path for the life of the process, so a missing
// picture named by several controls does not bury the operator in boxes. Pictures need no
// QGuiApplication (QImage); user-interface thread or any thread.

#include <string>

#include <QImage>

class CEnBitmap {
 public:
  // Loads `path` (Windows form or host path). On failure the previous picture is dropped.
  bool LoadImage(const std::string& path);
  bool IsLoaded() const { return !image_.isNull(); }
  const QImage& Image() const { return image_; }
  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }

  // Forgets which paths already showed the failure message (tests).
  static void ForgetReportedFailures();

 private:
  QImage image_;
};
