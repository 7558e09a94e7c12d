#include "device_sdk/Orvane/PictureFile.h"

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cctype>
#include <cstdio>
#include <memory>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

namespace orvane {
namespace {

using FilePtr = std::unique_ptr<FILE, int (*)(FILE*)>;

bool EndsWith(const std::string& name, const char* suffix) {
  const std::string s(suffix);
  if (name.size() < s.size()) return false;
  for (size_t i = 0; i < s.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(name[name.size() - s.size() + i])) != s[i])
      return false;
  return true;
}

// Converts the picture to packed 24-bit pixels, top row first, in `format`'s byte order.
bool ToPacked(const uint8_t* yv12, int width, int height, AVPixelFormat format,
              std::vector<uint8_t>& out) {
  SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, format,
                                   SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!sws) return false;
  const size_t luma = size_t(width) * height;
  const uint8_t* planes[4] = {yv12, yv12 + luma + luma / 4, yv12 + luma, nullptr};
  const int strides[4] = {width, width / 2, width / 2, 0};
  out.resize(size_t(width) * height * 3);
  uint8_t* dst[4] = {out.data(), nullptr, nullptr, nullptr};
  const int dst_strides[4] = {width * 3, 0, 0, 0};
  sws_scale(sws, planes, strides, 0, height, dst, dst_strides);
  sws_freeContext(sws);
  return true;
}

void PutLe(uint8_t* p, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}

bool WriteBmp(FILE* f, const std::vector<uint8_t>& bgr, int width, int height) {
  const uint32_t row_bytes = (uint32_t(width) * 3 + 3) & ~3u;
  const uint32_t image_bytes = row_bytes * uint32_t(height);
  uint8_t header[54] = {'B', 'M'};
  PutLe(header + 2, 54 + image_bytes, 4);
  PutLe(header + 10, 54, 4);
  PutLe(header + 14, 40, 4);
  PutLe(header + 18, uint32_t(width), 4);
  PutLe(header + 22, uint32_t(height), 4);
  PutLe(header + 26, 1, 2);
  PutLe(header + 28, 24, 2);
  PutLe(header + 34, image_bytes, 4);
  if (std::fwrite(header, 1, sizeof header, f) != sizeof header) return false;
  std::vector<uint8_t> row(row_bytes, 0);
  for (int y = height - 1; y >= 0; --y) {
    std::copy_n(&bgr[size_t(y) * width * 3], size_t(width) * 3, row.begin());
    if (std::fwrite(row.data(), 1, row_bytes, f) != row_bytes) return false;
  }
  return true;
}

// libjpeg's own error handler ends the process; ours returns to WriteJpeg instead.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf escape;
};

void OnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->escape, 1);
}

bool WriteJpeg(FILE* f, std::vector<uint8_t>& rgb, int width, int height) {
  jpeg_compress_struct info{};
  JpegErrors errors{};
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = OnJpegError;
  if (setjmp(errors.escape)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, f);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = &rgb[size_t(info.next_scanline) * width * 3];
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return std::ferror(f) == 0;
}

}  // namespace

PictureFileKind PictureFileKindOf(const std::string& name) {
  if (EndsWith(name, ".bmp")) return PictureFileKind::Bmp;
  if (EndsWith(name, ".jpg") || EndsWith(name, ".jpeg")) return PictureFileKind::Jpeg;
  return PictureFileKind::None;
}

bool WritePictureFile(const std::string& host_path, PictureFileKind kind, const uint8_t* yv12,
                      int width, int height) {
  if (kind == PictureFileKind::None || width <= 0 || height <= 0) return false;
  std::vector<uint8_t> packed;
  if (!ToPacked(yv12, width, height,
                kind == PictureFileKind::Bmp ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_RGB24, packed))
    return false;
  FilePtr f(std::fopen(host_path.c_str(), "wb"), &std::fclose);
  if (!f) return false;
  bool ok = kind == PictureFileKind::Bmp ? WriteBmp(f.get(), packed, width, height)
                                         : WriteJpeg(f.get(), packed, width, height);
  FILE* raw = f.release();
  ok = (std::fclose(raw) == 0) && ok;
  if (!ok) std::remove(host_path.c_str());
  return ok;
}

}  // namespace orvane
