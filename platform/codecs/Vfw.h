#pragma once
// The video-compression manager: installable video decompressors opened by type and
// FourCC, driven by messages and ICDecompress, in the call shapes of the Windows
// service. Every decompressor here is backed by libavcodec; the FourCC picks the decoder.
//
// A codec handle is used by one thread at a time; different handles are independent.

#include <cstddef>
#include <cstdint>

namespace platform {

using DWORD = std::uint32_t;
using LRESULT = std::intptr_t;
using FOURCC = std::uint32_t;

// mmioFOURCC: the first character is the lowest byte.
constexpr FOURCC MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<FOURCC>(static_cast<unsigned char>(a)) |
           (static_cast<FOURCC>(static_cast<unsigned char>(b)) << 8) |
           (static_cast<FOURCC>(static_cast<unsigned char>(c)) << 16) |
           (static_cast<FOURCC>(static_cast<unsigned char>(d)) << 24);
}

// The 40-byte bitmap information header. Codec data, when a format has any, follows it
// directly and is counted in biSize.
struct BITMAPINFOHEADER {
    DWORD biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;  // positive: RGB rows run bottom-up; YUV layouts are always top-down
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    DWORD biCompression;    // a FourCC, or BI_RGB
    DWORD biSizeImage;      // bytes of one picture; for compressed input the frame's length
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

constexpr DWORD BI_RGB = 0;

constexpr FOURCC ICTYPE_VIDEO = MakeFourCC('v', 'i', 'd', 'c');

// ICOpen modes. Only the decompressing modes open; there are no compressors.
constexpr unsigned ICMODE_COMPRESS = 1;
constexpr unsigned ICMODE_DECOMPRESS = 2;
constexpr unsigned ICMODE_FASTDECOMPRESS = 3;
constexpr unsigned ICMODE_QUERY = 4;

// Results of messages and of ICDecompress.
constexpr LRESULT ICERR_OK = 0;
constexpr LRESULT ICERR_DONTDRAW = 1;      // the frame produced no picture to show
constexpr LRESULT ICERR_UNSUPPORTED = -1;
constexpr LRESULT ICERR_BADFORMAT = -2;
constexpr LRESULT ICERR_MEMORY = -3;
constexpr LRESULT ICERR_INTERNAL = -4;
constexpr LRESULT ICERR_BADFLAGS = -5;
constexpr LRESULT ICERR_BADPARAM = -6;
constexpr LRESULT ICERR_BADSIZE = -7;
constexpr LRESULT ICERR_BADHANDLE = -8;
constexpr LRESULT ICERR_ERROR = -100;

// ICDecompress flags. HURRYUP is a hint to save time; pictures are still delivered.
// NULLFRAME marks an empty frame that repeats the previous picture.
constexpr DWORD ICDECOMPRESS_HURRYUP = 0x80000000u;
constexpr DWORD ICDECOMPRESS_UPDATE = 0x40000000u;
constexpr DWORD ICDECOMPRESS_PREROLL = 0x20000000u;
constexpr DWORD ICDECOMPRESS_NULLFRAME = 0x10000000u;
constexpr DWORD ICDECOMPRESS_NOTKEYFRAME = 0x08000000u;
// No frame: hands over the next picture the decoder still holds back for display order, as
// at the end of a stream (ICERR_DONTDRAW once none is left). Decoding frames after it starts
// afresh, without references, at a key frame.
constexpr DWORD ICDECOMPRESS_DRAIN = 0x04000000u;

// Messages; dw1 and dw2 carry pointers to the input and output headers.
constexpr unsigned ICM_USER = 0x4000;
constexpr unsigned ICM_GETINFO = 0x5002;
constexpr unsigned ICM_DECOMPRESS_GET_FORMAT = ICM_USER + 10;  // dw2 null: size of the format
constexpr unsigned ICM_DECOMPRESS_QUERY = ICM_USER + 11;       // dw2 may be null
constexpr unsigned ICM_DECOMPRESS_BEGIN = ICM_USER + 12;
constexpr unsigned ICM_DECOMPRESS_END = ICM_USER + 14;

struct ICINFO {
    DWORD dwSize;
    DWORD fccType;
    DWORD fccHandler;  // the FourCC the handle was opened with, in capitals
    DWORD dwFlags;
    DWORD dwVersion;
    DWORD dwVersionICM;
    char szName[16];          // short decoder name, UTF-8, zero-terminated
    char szDescription[128];  // long decoder name
    char szDriver[128];
};

struct VideoCompressor;
using HIC = VideoCompressor*;

// Opens a decompressor of type "vidc" for the FourCC (case does not matter). Null when no
// decoder serves the FourCC or the mode is not a decompressing one.
HIC ICOpen(DWORD fccType, DWORD fccHandler, unsigned mode);

// Ends any decompression and frees the handle. ICERR_OK, or ICERR_BADHANDLE for null.
LRESULT ICClose(HIC hic);

// ICM_DECOMPRESS_QUERY/BEGIN/END/GET_FORMAT and ICM_GETINFO (dw1 = ICINFO*, dw2 = its size).
// Unknown messages give ICERR_UNSUPPORTED.
LRESULT ICSendMessage(HIC hic, unsigned message, std::uintptr_t dw1, std::uintptr_t dw2);

// Decompresses the frame (lpbiInput->biSizeImage bytes at lpData) into lpOutput in the
// layout of lpbiOutput: YV12, I420/IYUV, YUY2, or BI_RGB 24/32 bits. ICERR_OK when a
// picture was written; ICERR_DONTDRAW when the frame gave none (the output is untouched);
// ICERR_ERROR for data the decoder rejects. With ICDECOMPRESS_DRAIN lpData is not read.
// The caller keeps both buffers.
LRESULT ICDecompress(HIC hic, DWORD flags, const BITMAPINFOHEADER* lpbiInput, const void* lpData,
                     const BITMAPINFOHEADER* lpbiOutput, void* lpOutput);

// Fills icinfo (at most cb bytes); returns the bytes filled, 0 on failure.
LRESULT ICGetInfo(HIC hic, ICINFO* icinfo, DWORD cb);

inline LRESULT ICDecompressQuery(HIC hic, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out)
{
    return ICSendMessage(hic, ICM_DECOMPRESS_QUERY, reinterpret_cast<std::uintptr_t>(in),
                         reinterpret_cast<std::uintptr_t>(out));
}

inline LRESULT ICDecompressBegin(HIC hic, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out)
{
    return ICSendMessage(hic, ICM_DECOMPRESS_BEGIN, reinterpret_cast<std::uintptr_t>(in),
                         reinterpret_cast<std::uintptr_t>(out));
}

inline LRESULT ICDecompressGetFormat(HIC hic, const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out)
{
    return ICSendMessage(hic, ICM_DECOMPRESS_GET_FORMAT, reinterpret_cast<std::uintptr_t>(in),
                         reinterpret_cast<std::uintptr_t>(out));
}

inline LRESULT ICDecompressEnd(HIC hic)
{
    return ICSendMessage(hic, ICM_DECOMPRESS_END, 0, 0);
}

}  // namespace platform
