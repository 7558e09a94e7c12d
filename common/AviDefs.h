#pragma once
// RIFF/AVI 1.0 identifiers, flags and on-disk records shared by the recording writer
// (Stordane) and the AVI reader of the player engine (Pellix).
//
// Every record here is the exact little-endian layout found in a file: the structs are
// packed, their sizes are checked below, and a reader may copy bytes straight into them
// after checking that enough bytes remain. Nothing in this header allocates or does I/O.
//
// Layout of a file written by the recording writer:
//
//   RIFF <size> 'AVI '
//     LIST <size> 'hdrl'
//       'avih' AviMainHeader
//       LIST <size> 'strl'  'strh' AviStreamHeader (video)  'strf' BitmapInfoHeader [+ codec data]
//       LIST <size> 'strl'  'strh' AviStreamHeader (audio)  'strf' ImaAdpcmWaveFormat   (optional)
//     JUNK <size> (padding, so that the first movi chunk starts at kAviMoviDataOffset)
//     LIST <size> 'movi'
//       '00dc' <size> video frame  (a size of 0 is an empty frame that only takes time)
//       '01wb' <size> audio data
//       ...
//     'idx1' <size> AviIndexEntry[]   (written when the file is closed)
//
// Chunks are padded to an even length; the pad byte is not counted in the chunk size.
// AviIndexEntry::dwChunkOffset counts from the 'movi' four-character code of the movi LIST
// (the byte after the LIST size), so the first chunk in movi has offset 4.
//
// A file whose writer died before closing has no idx1; its RIFF and movi sizes and frame
// counts describe the chunks complete on disk at the last header refresh, and a reader
// rebuilds the index by walking movi.

#include <bit>
#include <cstddef>
#include <cstdint>

namespace avi {

static_assert(std::endian::native == std::endian::little,
              "AVI records are little-endian and are copied to and from memory as they are");

// Four-character code as stored in a file: the first character is the lowest byte.
constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24);
}

// Character i (0..3) of a four-character code, for trace lines.
constexpr char FourCCChar(std::uint32_t fourcc, int i) {
    return static_cast<char>((fourcc >> (8 * i)) & 0xFF);
}

// --- Container codes ----------------------------------------------------------------------
inline constexpr std::uint32_t kFccRiff = MakeFourCC('R', 'I', 'F', 'F');
inline constexpr std::uint32_t kFccAvi  = MakeFourCC('A', 'V', 'I', ' ');   // RIFF form type
inline constexpr std::uint32_t kFccAvix = MakeFourCC('A', 'V', 'I', 'X');   // OpenDML extension RIFF
inline constexpr std::uint32_t kFccList = MakeFourCC('L', 'I', 'S', 'T');
inline constexpr std::uint32_t kFccHdrl = MakeFourCC('h', 'd', 'r', 'l');
inline constexpr std::uint32_t kFccAvih = MakeFourCC('a', 'v', 'i', 'h');
inline constexpr std::uint32_t kFccStrl = MakeFourCC('s', 't', 'r', 'l');
inline constexpr std::uint32_t kFccStrh = MakeFourCC('s', 't', 'r', 'h');
inline constexpr std::uint32_t kFccStrf = MakeFourCC('s', 't', 'r', 'f');
inline constexpr std::uint32_t kFccStrd = MakeFourCC('s', 't', 'r', 'd');
inline constexpr std::uint32_t kFccStrn = MakeFourCC('s', 't', 'r', 'n');
inline constexpr std::uint32_t kFccIndx = MakeFourCC('i', 'n', 'd', 'x');   // OpenDML, not written
inline constexpr std::uint32_t kFccOdml = MakeFourCC('o', 'd', 'm', 'l');   // OpenDML, not written
inline constexpr std::uint32_t kFccMovi = MakeFourCC('m', 'o', 'v', 'i');
inline constexpr std::uint32_t kFccRec  = MakeFourCC('r', 'e', 'c', ' ');   // grouping LIST inside movi
inline constexpr std::uint32_t kFccIdx1 = MakeFourCC('i', 'd', 'x', '1');
inline constexpr std::uint32_t kFccJunk = MakeFourCC('J', 'U', 'N', 'K');
inline constexpr std::uint32_t kFccInfo = MakeFourCC('I', 'N', 'F', 'O');

// --- Stream types (AviStreamHeader::fccType) ----------------------------------------------
inline constexpr std::uint32_t kFccVids = MakeFourCC('v', 'i', 'd', 's');
inline constexpr std::uint32_t kFccAuds = MakeFourCC('a', 'u', 'd', 's');

// --- Codec tags of recordings -------------------------------------------------------------
inline constexpr std::uint32_t kFccXvid = MakeFourCC('X', 'V', 'I', 'D');   // 0x44495658
inline constexpr std::uint32_t kFccWmv3 = MakeFourCC('W', 'M', 'V', '3');
inline constexpr std::uint32_t kFccH264 = MakeFourCC('H', '2', '6', '4');
inline constexpr std::uint32_t kFccHevc = MakeFourCC('H', 'E', 'V', 'C');
inline constexpr std::uint32_t kFccMjpg = MakeFourCC('M', 'J', 'P', 'G');

// --- Chunk ids inside movi ----------------------------------------------------------------
// Two decimal digits of the stream number followed by a two-letter type.
inline constexpr std::uint16_t kTwoccCompressedVideo = 'd' | ('c' << 8);     // "dc"
inline constexpr std::uint16_t kTwoccUncompressedVideo = 'd' | ('b' << 8);   // "db"
inline constexpr std::uint16_t kTwoccAudio = 'w' | ('b' << 8);               // "wb"
inline constexpr std::uint16_t kTwoccPalette = 'p' | ('c' << 8);             // "pc"

// Chunk id for stream number `stream` (0..99) and a two-letter type code.
constexpr std::uint32_t MakeChunkId(int stream, std::uint16_t twocc) {
    return MakeFourCC(static_cast<char>('0' + (stream / 10) % 10), static_cast<char>('0' + stream % 10),
                      static_cast<char>(twocc & 0xFF), static_cast<char>(twocc >> 8));
}
inline constexpr std::uint32_t kChunkVideo0 = MakeChunkId(0, kTwoccCompressedVideo);   // "00dc"
inline constexpr std::uint32_t kChunkAudio1 = MakeChunkId(1, kTwoccAudio);             // "01wb"

// Stream number of a movi chunk id, or -1 when its first two characters are not digits.
constexpr int ChunkStreamNumber(std::uint32_t chunkId) {
    const int d0 = static_cast<int>(chunkId & 0xFF) - '0';
    const int d1 = static_cast<int>((chunkId >> 8) & 0xFF) - '0';
    if (d0 < 0 || d0 > 9 || d1 < 0 || d1 > 9) return -1;
    return d0 * 10 + d1;
}
// The two-letter type of a movi chunk id ("dc", "wb", ...).
constexpr std::uint16_t ChunkTwocc(std::uint32_t chunkId) { return static_cast<std::uint16_t>(chunkId >> 16); }

// --- AviMainHeader::dwFlags ---------------------------------------------------------------
inline constexpr std::uint32_t AVIF_HASINDEX = 0x00000010;        // idx1 present
inline constexpr std::uint32_t AVIF_MUSTUSEINDEX = 0x00000020;    // chunk order differs from play order
inline constexpr std::uint32_t AVIF_ISINTERLEAVED = 0x00000100;
inline constexpr std::uint32_t AVIF_TRUSTCKTYPE = 0x00000800;
inline constexpr std::uint32_t AVIF_WASCAPTUREFILE = 0x00010000;
inline constexpr std::uint32_t AVIF_COPYRIGHTED = 0x00020000;

// --- AviStreamHeader::dwFlags -------------------------------------------------------------
inline constexpr std::uint32_t AVISF_DISABLED = 0x00000001;
inline constexpr std::uint32_t AVISF_VIDEO_PALCHANGES = 0x00010000;

// --- AviIndexEntry::dwFlags ---------------------------------------------------------------
inline constexpr std::uint32_t AVIIF_LIST = 0x00000001;        // entry names a LIST ('rec ')
inline constexpr std::uint32_t AVIIF_KEYFRAME = 0x00000010;    // decoding may start here
inline constexpr std::uint32_t AVIIF_FIRSTPART = 0x00000020;
inline constexpr std::uint32_t AVIIF_LASTPART = 0x00000040;
inline constexpr std::uint32_t AVIIF_NO_TIME = 0x00000100;     // chunk takes no time (palette change)
inline constexpr std::uint32_t AVIIF_COMPRESSOR = 0x0FFF0000;  // bits reserved for the codec

// --- Audio format tags (WaveFormatEx::wFormatTag) -----------------------------------------
inline constexpr std::uint16_t WAVE_FORMAT_PCM = 0x0001;
inline constexpr std::uint16_t WAVE_FORMAT_IMA_ADPCM = 0x0011;

// --- BitmapInfoHeader::biCompression for uncompressed pictures ----------------------------
inline constexpr std::uint32_t BI_RGB = 0;

#pragma pack(push, 1)

// Header of every chunk: id and size of the data that follows (pad byte not counted).
struct AviChunkHeader {
    std::uint32_t fcc;
    std::uint32_t size;
};

// Header of a RIFF or LIST chunk; `size` counts `type` and everything after it.
struct AviListHeader {
    std::uint32_t fcc;    // kFccRiff or kFccList
    std::uint32_t size;
    std::uint32_t type;   // kFccAvi, kFccHdrl, kFccStrl, kFccMovi, ...
};

// Data of the 'avih' chunk.
struct AviMainHeader {
    std::uint32_t dwMicroSecPerFrame;     // of the first video stream
    std::uint32_t dwMaxBytesPerSec;
    std::uint32_t dwPaddingGranularity;
    std::uint32_t dwFlags;                // AVIF_*
    std::uint32_t dwTotalFrames;          // video chunks in movi
    std::uint32_t dwInitialFrames;
    std::uint32_t dwStreams;
    std::uint32_t dwSuggestedBufferSize;
    std::uint32_t dwWidth;
    std::uint32_t dwHeight;
    std::uint32_t dwReserved[4];
};

struct AviRect16 {
    std::int16_t left;
    std::int16_t top;
    std::int16_t right;
    std::int16_t bottom;
};

// Data of a 'strh' chunk. The stream's rate is dwRate / dwScale units per second: frames
// for video, blocks of dwSampleSize bytes for audio. dwLength counts those units.
struct AviStreamHeader {
    std::uint32_t fccType;                // kFccVids or kFccAuds
    std::uint32_t fccHandler;             // codec tag for video, 0 for audio
    std::uint32_t dwFlags;                // AVISF_*
    std::uint16_t wPriority;
    std::uint16_t wLanguage;
    std::uint32_t dwInitialFrames;
    std::uint32_t dwScale;
    std::uint32_t dwRate;
    std::uint32_t dwStart;
    std::uint32_t dwLength;
    std::uint32_t dwSuggestedBufferSize;
    std::uint32_t dwQuality;              // 0..10000, or 0xFFFFFFFF for default
    std::uint32_t dwSampleSize;           // 0 for video (chunk = frame); block size for audio
    AviRect16 rcFrame;
};

// Video 'strf' data; codec data (biSize - 40 bytes) may follow directly.
struct BitmapInfoHeader {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;          // codec tag, or BI_RGB
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};

// Audio 'strf' data; cbSize bytes of format-specific data follow.
struct WaveFormatEx {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};

// IMA ADPCM audio format: WaveFormatEx with cbSize 2 and the samples held by one block.
struct ImaAdpcmWaveFormat {
    WaveFormatEx wfx;
    std::uint16_t wSamplesPerBlock;
};

// One entry of the legacy 'idx1' index.
struct AviIndexEntry {
    std::uint32_t ckid;                   // chunk id, e.g. kChunkVideo0
    std::uint32_t dwFlags;                // AVIIF_*
    std::uint32_t dwChunkOffset;          // from the 'movi' code of the movi LIST to the chunk header
    std::uint32_t dwChunkLength;          // chunk data size, pad byte not counted
};

#pragma pack(pop)

static_assert(sizeof(AviChunkHeader) == 8);
static_assert(sizeof(AviListHeader) == 12);
static_assert(sizeof(AviMainHeader) == 56);
static_assert(sizeof(AviStreamHeader) == 56);
static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(sizeof(WaveFormatEx) == 18);
static_assert(sizeof(ImaAdpcmWaveFormat) == 20);
static_assert(sizeof(AviIndexEntry) == 16);

// --- Values of the recordings' streams ----------------------------------------------------
// IMA ADPCM as the devices send it: mono, 8000 Hz, 256-byte blocks of 505 samples
// (4 header bytes with the first sample, then 252 bytes of two 4-bit samples each).
inline constexpr int kImaAdpcmBlockBytes = 256;
inline constexpr int kImaAdpcmSamplesPerBlock = 505;
inline constexpr int kImaAdpcmSampleRate = 8000;
inline constexpr int kImaAdpcmAvgBytesPerSec = 4055;

// Offset of the first movi chunk in a file of the recording writer: the header area before
// it is reserved at creation so that streams added later and the periodic refresh of sizes
// and counts rewrite it in place. A reader must not rely on it; it walks the RIFF tree.
inline constexpr std::uint32_t kAviMoviDataOffset = 2048;

// Largest size of a whole file that the 32-bit RIFF size can describe; the recording writer
// refuses chunks that would take the file past it (with room left for idx1).
inline constexpr std::uint64_t kAviMaxRiffFileBytes = 0xFFFFFFFFull;

}  // namespace avi
