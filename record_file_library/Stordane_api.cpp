// The exported functions: check the slot number, call the manager, and turn any exception
// into the function's error value so that none crosses the C boundary.

#include "record_file_library/Stordane.h"

#include <exception>

#include "record_file_library/RecordFileManager.h"

using stordane::RecordFileManager;

namespace {

template <typename Call>
unsigned Guarded(unsigned on_exception, Call&& call) {
  try {
    return call();
  } catch (const std::exception&) {
    return on_exception;
  } catch (...) {
    return on_exception;
  }
}

}  // namespace

extern "C" {

unsigned int OxSetCapSize(int nIndex, int width, int height) {
  if (!RecordFileManager::IsSlot(nIndex)) return OX_ERR_INDEX;
  return Guarded(OX_ERR_PARAM, [&] { return RecordFileManager::Instance().SetCapSize(nIndex, width, height); });
}

unsigned int OxSetCapFrmRate(int nIndex, int frameRate) {
  if (!RecordFileManager::IsSlot(nIndex)) return OX_ERR_INDEX;
  return Guarded(OX_ERR_PARAM, [&] { return RecordFileManager::Instance().SetCapFrameRate(nIndex, frameRate); });
}

unsigned int OxSetCapCompression(int nIndex, int compression) {
  if (!RecordFileManager::IsSlot(nIndex)) return OX_ERR_INDEX;
  return Guarded(OX_ERR_PARAM,
                 [&] { return RecordFileManager::Instance().SetCapCompression(nIndex, compression); });
}

unsigned int OxCreateAVIFile(int nIndex, const char* fileName) {
  if (!RecordFileManager::IsSlot(nIndex)) return OX_ERR_INDEX;
  return Guarded(OX_ERR_OPEN, [&] { return RecordFileManager::Instance().CreateFile(nIndex, fileName); });
}

unsigned int OxWriteFrameToAVIFile(int nIndex, const unsigned char* data, int size, int frameType) {
  if (!RecordFileManager::IsSlot(nIndex)) return OX_ERR_INDEX;
  return Guarded(OX_ERR_WRITE,
                 [&] { return RecordFileManager::Instance().WriteFrame(nIndex, data, size, frameType); });
}

unsigned int OxCloseAVIFile(int nIndex) {
  if (!RecordFileManager::IsSlot(nIndex)) return OX_ERR_INDEX;
  return Guarded(OX_ERR_CLOSE, [&] { return RecordFileManager::Instance().CloseFile(nIndex); });
}

unsigned int OxGetFileTimeLength(int nIndex) {
  if (!RecordFileManager::IsSlot(nIndex)) return OX_ERR_INDEX;
  return Guarded(0, [&] { return RecordFileManager::Instance().FileTimeLength(nIndex); });
}

unsigned int OxStartDealDrivers(void) {
  return Guarded(OX_ERR_PARAM, [] { return RecordFileManager::Instance().Drives().Start(); });
}

unsigned int OxStopDealDrivers(void) {
  return Guarded(0, [] { return RecordFileManager::Instance().Drives().Stop(); });
}

unsigned int OxRegDealDriverMsgCallBack(OX_DRIVER_MSG_CB callback) {
  return Guarded(0, [&] {
    RecordFileManager::Instance().Drives().RegisterCallback(callback);
    return 0u;
  });
}

}  // extern "C"
