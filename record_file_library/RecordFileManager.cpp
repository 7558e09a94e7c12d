#include "record_file_library/RecordFileManager.h"

// Lock order: the index lock, then a slot writer's lock. A close releases its writer's lock
// before it enters the file into the index.

#include <cstring>

#include "platform/Paths.h"
#include "record_file_library/Stordane.h"

namespace stordane {

RecordFileManager::RecordFileManager()
    : drives_(index_, [this](const std::string& path) { return IsRecording(path); }) {
  index_.SetRecordingCheck([this](const std::string& path) { return IsRecording(path); });
}

RecordFileManager::~RecordFileManager() {
  drives_.Stop();
  // Files still open are finished so they stay playable, but not entered into the index.
  for (CaptureSlot& slot : slots_) slot.writer.Close();
}

RecordFileManager& RecordFileManager::Instance() {
  // The library's single object: lives from load to unload of the library.
  static RecordFileManager manager;
  return manager;
}

unsigned RecordFileManager::SetCapSize(int index, int width, int height) {
  if (!IsSlot(index)) return OX_ERR_INDEX;
  slots_[index].width = width;
  slots_[index].height = height;
  return 0;
}

unsigned RecordFileManager::SetCapFrameRate(int index, int frame_rate) {
  if (!IsSlot(index)) return OX_ERR_INDEX;
  slots_[index].frame_rate = frame_rate;
  return 0;
}

unsigned RecordFileManager::SetCapCompression(int index, int compression) {
  if (!IsSlot(index)) return OX_ERR_INDEX;
  if (compression == OX_COMPRESSION_XVID) slots_[index].compression = avi::kFccXvid;
  if (compression == OX_COMPRESSION_WMV3) slots_[index].compression = avi::kFccWmv3;
  if (compression == OX_COMPRESSION_H264) slots_[index].compression = avi::kFccH264;
  if (compression == OX_COMPRESSION_H265) slots_[index].compression = avi::kFccHevc;
  if (compression == OX_COMPRESSION_MJPEG) slots_[index].compression = avi::kFccMjpg;
  return 0;
}

unsigned RecordFileManager::CreateFile(int index, const char* file_name) {
  if (!IsSlot(index)) return OX_ERR_INDEX;
  // A longer name would have to be cut, and a cut name is a different file.
  if (file_name == nullptr || file_name[0] == '\0' ||
      std::strlen(file_name) > AviStreamWriter::kMaxFileNameChars) {
    return OX_ERR_PARAM;
  }
  if (drives_.IsSuspended()) return OX_ERR_SUSPENDED;
  CaptureSlot& slot = slots_[index];
  CaptureSettings settings;
  settings.compression = slot.compression;
  settings.frame_rate = slot.frame_rate;
  settings.width = slot.width;
  settings.height = slot.height;
  return slot.writer.Create(file_name, settings);
}

unsigned RecordFileManager::WriteFrame(int index, const unsigned char* data, int size, int frame_type) {
  if (!IsSlot(index)) return OX_ERR_INDEX;
  return slots_[index].writer.WriteFrame(data, size, frame_type);
}

unsigned RecordFileManager::CloseFile(int index) {
  if (!IsSlot(index)) return OX_ERR_INDEX;
  CaptureSlot& slot = slots_[index];
  AviStreamWriter& writer = slot.writer;
  slot.closing = true;
  const AviStreamWriter::CloseResult result = writer.Close();
  // Only a close that finished a file enters it: closing again must not count it twice.
  if (result.held_file) index_.AddToFileInfo(writer.FileName(), writer.TimeLength());
  slot.closing = false;
  return result.failed ? OX_ERR_CLOSE : 0;
}

unsigned RecordFileManager::FileTimeLength(int index) const {
  if (!IsSlot(index)) return OX_ERR_INDEX;
  return slots_[index].writer.TimeLength();
}

bool RecordFileManager::IsRecording(const std::string& path) const {
  const std::string host = platform::ToHostPath(path);
  for (const CaptureSlot& slot : slots_) {
    // Open first: a slot that is no longer open was marked closing before it closed.
    const bool owned = slot.writer.IsOpen() || slot.closing.load();
    if (owned && platform::ToHostPath(slot.writer.FileName()) == host) return true;
  }
  return false;
}

}  // namespace stordane
