#pragma once

// The program's own pictures: the program icon and the images of the camera tree. They are
// compiled into the program; Available() is the start-up check that they are there.

#include <QIcon>
#include <QImage>

namespace KorvelResources {

// True when the bundle is present and its pictures decode.
bool Available();
QIcon ProgramIcon();
// Image `index` of the camera tree (1 connected, 2 unassigned, 3 pending, 4 assigned,
// 6 tried and not connected); other indices give an empty picture.
QIcon TreeImage(int index);
QImage TreeImagePicture(int index);

}  // namespace KorvelResources
