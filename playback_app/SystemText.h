#pragma once

// The program's 8-bit text (code page 936) where it meets Qt, and a picture loader.

#include <QColor>
#include <QImage>
#include <QString>
#include <string>

#include "common/qt/SystemText.h"

namespace lumaro {

using ::FromSystemText;
using ::ToSystemText;

// Loads a picture chosen by the upper-cased extension (".BMP", ".ICO", ".JPG", ".JPEG",
// ".GIF"); with a valid `background` the picture is drawn over that colour first, so
// transparent parts take it. A failure shows "LOAD IMAGE FAIL. [PATH]: <path>" and gives a
// null image.
QImage LoadImageFile(const std::string& path, const QColor& background = QColor());

}  // namespace lumaro
