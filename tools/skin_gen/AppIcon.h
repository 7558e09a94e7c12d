#pragma once

#include <QString>

namespace skin_gen {

// The sizes of the desktop icons made from each program's small window icon.
inline constexpr int kAppIconSizes[] = {48, 64, 128, 256};

// Writes <theme folder>/<N>x<N>/apps/<name>.png for every size in kAppIconSizes, made from the
// picture `source` (the program's window icon). The icons are pixel art: each is first
// enlarged by the largest whole factor that fits, pixel for pixel so the edges stay sharp, and
// only the remaining fraction (if any) is smoothed. Returns false, with a line on stderr, when
// the picture cannot be read or an icon cannot be written.
bool WriteAppIcons(const QString& source, const QString& name, const QString& themeFolder);

}  // namespace skin_gen
