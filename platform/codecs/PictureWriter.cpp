#include "platform/codecs/PictureWriter.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace platform {

namespace {

void CopyPlane(std::uint8_t* destination, int destinationStride, const std::uint8_t* source,
               int sourceStride, int rowBytes, int rows)
{
    if (destinationStride == sourceStride && rowBytes == sourceStride) {
        std::memcpy(destination, source, static_cast<std::size_t>(rowBytes) * rows);
        return;
    }
    for (int row = 0; row < rows; ++row)
        std::memcpy(destination + static_cast<std::ptrdiff_t>(row) * destinationStride,
                    source + static_cast<std::ptrdiff_t>(row) * sourceStride, rowBytes);
}

bool IsPlanar420(int format)
{
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
}

// Motion JPEG pictures are full-range YUV. Those in 4:2:0 are copied as they stand, so the
// ones in 4:2:2 or 4:4:4 (as many cameras send) keep the full range too when only their
// chroma is resampled; otherwise two cameras filming one scene would differ in brightness
// and contrast by the codec's sampling alone.
bool IsFullRange(const AVFrame& picture)
{
    switch (picture.format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return picture.color_range == AVCOL_RANGE_JPEG;
    }
}

int Rgb24Stride(int width)
{
    return (width * 3 + 3) & ~3;
}

}  // namespace

PictureLayout LayoutOfHeader(const BITMAPINFOHEADER& header)
{
    const DWORD compression = header.biCompression;
    if (compression == MakeFourCC('Y', 'V', '1', '2'))
        return PictureLayout::YV12;
    if (compression == MakeFourCC('I', '4', '2', '0') || compression == MakeFourCC('I', 'Y', 'U', 'V'))
        return PictureLayout::I420;
    if (compression == MakeFourCC('Y', 'U', 'Y', '2'))
        return PictureLayout::YUY2;
    if (compression == BI_RGB && header.biBitCount == 24)
        return PictureLayout::RGB24;
    if (compression == BI_RGB && header.biBitCount == 32)
        return PictureLayout::RGB32;
    return PictureLayout::None;
}

std::size_t PictureBytes(PictureLayout layout, int width, int height)
{
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return 0;
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    switch (layout) {
    case PictureLayout::YV12:
    case PictureLayout::I420:
        return w * h + 2 * (w / 2) * (h / 2);
    case PictureLayout::YUY2:
        return w * 2 * h;
    case PictureLayout::RGB24:
        return static_cast<std::size_t>(Rgb24Stride(width)) * h;
    case PictureLayout::RGB32:
        return w * 4 * h;
    case PictureLayout::None:
        break;
    }
    return 0;
}

PictureWriter::~PictureWriter()
{
    sws_freeContext(scaler_);
}

bool PictureWriter::Write(const AVFrame& picture, PictureLayout layout, int width, int height,
                          bool bottomUp, std::uint8_t* output)
{
    if (output == nullptr || PictureBytes(layout, width, height) == 0 || picture.width <= 0 ||
        picture.height <= 0)
        return false;
    const int chromaWidth = width / 2;
    const int chromaHeight = height / 2;
    std::uint8_t* const lumaPlane = output;
    std::uint8_t* const firstChroma = output + static_cast<std::size_t>(width) * height;
    std::uint8_t* const secondChroma = firstChroma + static_cast<std::size_t>(chromaWidth) * chromaHeight;
    const bool planar = layout == PictureLayout::YV12 || layout == PictureLayout::I420;
    std::uint8_t* const uPlane = layout == PictureLayout::YV12 ? secondChroma : firstChroma;
    std::uint8_t* const vPlane = layout == PictureLayout::YV12 ? firstChroma : secondChroma;

    // The usual case, a 4:2:0 picture of the stream's own size, is three plane copies.
    const bool keepsRange = layout == PictureLayout::YV12 || !IsFullRange(picture);
    if (planar && keepsRange && IsPlanar420(picture.format) && picture.width == width && picture.height == height) {
        CopyPlane(lumaPlane, width, picture.data[0], picture.linesize[0], width, height);
        CopyPlane(uPlane, chromaWidth, picture.data[1], picture.linesize[1], chromaWidth, chromaHeight);
        CopyPlane(vPlane, chromaWidth, picture.data[2], picture.linesize[2], chromaWidth, chromaHeight);
        return true;
    }

    AVPixelFormat target = AV_PIX_FMT_YUV420P;
    std::uint8_t* planes[4] = {nullptr, nullptr, nullptr, nullptr};
    int strides[4] = {0, 0, 0, 0};
    switch (layout) {
    case PictureLayout::YV12:
    case PictureLayout::I420:
        planes[0] = lumaPlane;
        planes[1] = uPlane;
        planes[2] = vPlane;
        strides[0] = width;
        strides[1] = chromaWidth;
        strides[2] = chromaWidth;
        if (layout == PictureLayout::YV12 && IsFullRange(picture))
            target = AV_PIX_FMT_YUVJ420P;
        break;
    case PictureLayout::YUY2:
        target = AV_PIX_FMT_YUYV422;
        planes[0] = output;
        strides[0] = width * 2;
        break;
    case PictureLayout::RGB24:
    case PictureLayout::RGB32: {
        target = layout == PictureLayout::RGB24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGR0;
        const int stride = layout == PictureLayout::RGB24 ? Rgb24Stride(width) : width * 4;
        planes[0] = output;
        strides[0] = stride;
        if (bottomUp) {
            planes[0] = output + static_cast<std::ptrdiff_t>(stride) * (height - 1);
            strides[0] = -stride;
        }
        break;
    }
    case PictureLayout::None:
        return false;
    }
    scaler_ = sws_getCachedContext(scaler_, picture.width, picture.height,
                                   static_cast<AVPixelFormat>(picture.format), width, height, target,
                                   SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr)
        return false;
    return sws_scale(scaler_, picture.data, picture.linesize, 0, picture.height, planes, strides) > 0;
}

}  // namespace platform
