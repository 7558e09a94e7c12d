#include "device_sdk/Glimmet/SoundOutput.h"

#include "device_sdk/Glimmet/Glimmet.h"

namespace glimmet {

int SoundOutput::Open() {
  std::lock_guard<std::mutex> guard(lock_);
  if (device_) return GL_OK;
  platform::AudioFormat format;  // 8000 samples per second, mono, 16 bits
  device_ = platform::AudioDevice::Open(format, kQueueBytes);
  return device_ ? GL_OK : GL_ERR_DEVICE;
}

void SoundOutput::Close() {
  std::lock_guard<std::mutex> guard(lock_);
  if (device_) device_->Close();
  device_.reset();
  block_bytes_ = 0;
}

int SoundOutput::Begin(int block_bytes) {
  if (block_bytes != 642 && block_bytes != 1010 && block_bytes != 4040)
    return GL_ERR_INVALID_ARGUMENT;
  if (int rc = Open(); rc != GL_OK) return rc;
  std::lock_guard<std::mutex> guard(lock_);
  device_->Flush();
  device_->SetPaused(false);
  block_bytes_ = block_bytes;
  return GL_OK;
}

int SoundOutput::Play(const uint8_t* block) {
  if (!block) return GL_ERR_INVALID_ARGUMENT;
  std::lock_guard<std::mutex> guard(lock_);
  if (!device_ || block_bytes_ == 0) return GL_ERR_STATE;
  if (device_->Write(block, size_t(block_bytes_))) return GL_OK;
  device_->Flush();
  return device_->Write(block, size_t(block_bytes_)) ? GL_OK : GL_ERR_DEVICE;
}

int SoundOutput::Pause() {
  std::lock_guard<std::mutex> guard(lock_);
  block_bytes_ = 0;
  if (!device_) return GL_OK;
  device_->SetPaused(true);
  device_->Flush();
  return GL_OK;
}

}  // namespace glimmet
