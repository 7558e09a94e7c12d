#pragma once

// The snapshot command: the picture of the selected window saved as a JPEG or BMP file below
// the snapshot folder, the result shown in the pop-up notifier.
//
// Folder: <snapshot folder>\<addr>\<NN>\ (NN the channel + 1); file name: the local time as
// "%Y%m%d-%H%M%S.JPG" (format 0) or ".BMP" (format 1); any other format names no file and the
// save fails. Nothing is saved when the snapshot folder's drive (or, for a folder outside the
// drive table, its file system) has less than 20 MiB free.
// A kind-3 window's picture is written by its decoder instance with the next decoded frame; a
// DVR window's by the SDK at once. A JPEG snapshot of a network camera with a services port is
// the camera's own picture, fetched off the user-interface thread (the decoded one when the
// camera gives none). User-interface thread only.

#include <string>

#include "platform/TimeText.h"

class CKorvelDlg;

// Free MiB the snapshot folder's drive needs.
inline constexpr int kSnapshotMinFreeMB = 20;

// "<snapPath>\<address>\<NN>\" for channel 0-23 (Windows form).
std::string SnapshotFolder(const std::string& snapPath, const std::string& address, int channel);
// File name of a snapshot taken at `time` in `format`; "" for a format that names no file.
std::string SnapshotFileName(int format, const platform::LocalTime& time);
// Root of the drive the snapshot folder lies on: the folder up to and including its first
// backslash ("C:\" of "C:\Pic").
std::string SnapshotDrive(const std::string& snapPath);

class MDiskManager;

// Free MiB where snapshots of `snapPath` go: for a folder on a drive ("X:\...") that drive's,
// as the drive set reads it; for a host folder outside the drive table (a folder chosen with
// Browse maps to no drive letter), the free space of the host file system holding it. -1 when
// it cannot be measured.
int SnapshotFreeSpaceMB(MDiskManager& disks, const std::string& snapPath);

enum class SnapshotOutcome {
  None,     // no window selected
  NoSpace,  // refused: the drive has too little room ("IDS_SNAP_NOSPACE" shown)
  Failed,   // the save was refused (notifier shows "IDS_SNAP_FAIL" with the path)
  Saved,    // the save was accepted (notifier shows the path)
};
struct SnapshotResult {
  SnapshotOutcome outcome = SnapshotOutcome::None;
  std::string path;  // Windows form: folder + file name
};

// Takes the snapshot of window `w` of the current page.
SnapshotResult TakeSnapshot(CKorvelDlg& dialog, int w);
