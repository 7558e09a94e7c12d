#include "common/XvidStreamHeader.h"

namespace {

constexpr std::uint8_t kPictureStart = 0xB6;
constexpr unsigned kSimpleObject = 1;

// Reads bits most significant first; reading past the end sets `overrun` and gives zeros.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t length) : data_(data), length_(length) {}

    unsigned Read(int bits)
    {
        unsigned value = 0;
        for (int i = 0; i < bits; ++i) {
            const std::size_t byte = position_ >> 3;
            unsigned bit = 0;
            if (byte < length_)
                bit = (data_[byte] >> (7 - (position_ & 7))) & 1u;
            else
                overrun = true;
            value = (value << 1) | bit;
            ++position_;
        }
        return value;
    }
    bool Flag() { return Read(1) != 0; }
    // Marker bits are always one; a zero means the header is not what it claims.
    void Marker()
    {
        if (Read(1) == 0)
            broken = true;
    }

    bool overrun = false;
    bool broken = false;

private:
    const std::uint8_t* data_;
    std::size_t length_;
    std::size_t position_ = 0;
};

// The position just past the next start code prefix (00 00 01) at or after `from`, or
// `length` when there is none.
std::size_t NextStartCode(const std::uint8_t* frame, std::size_t length, std::size_t from)
{
    for (std::size_t i = from; i + 3 <= length; ++i) {
        if (frame[i + 2] > 1) {
            i += 2;  // no prefix can end at i + 2 or begin before it
            continue;
        }
        if (frame[i] == 0 && frame[i + 1] == 0 && frame[i + 2] == 1)
            return i + 3;
    }
    return length;
}

// Skips a quantiser matrix: up to 64 values, ended early by a zero.
void SkipQuantMatrix(BitReader& bits)
{
    for (int i = 0; i < 64; ++i)
        if (bits.Read(8) == 0)
            break;
}

bool ReadLayer(BitReader& bits, XvidSequenceHeader& header)
{
    bits.Read(1);  // random access
    const unsigned objectType = bits.Read(8);
    // Without control parameters only the simple profile promises no backward prediction.
    header.lowDelay = objectType == kSimpleObject;
    int version = 1;
    if (bits.Flag()) {
        version = static_cast<int>(bits.Read(4));
        bits.Read(3);  // priority
    }
    if (bits.Read(4) == 15)  // aspect ratio given as numbers
        bits.Read(16);
    if (bits.Flag()) {
        header.chroma420 = bits.Read(2) == 1;
        header.lowDelay = bits.Flag();
        if (bits.Flag()) {  // buffer parameters
            bits.Read(15);
            bits.Marker();
            bits.Read(15);
            bits.Marker();
            bits.Read(15);
            bits.Marker();
            bits.Read(3);
            bits.Read(11);
            bits.Marker();
            bits.Read(15);
            bits.Marker();
        }
    }
    const unsigned shape = bits.Read(2);
    header.rectangular = shape == 0;
    if (!header.rectangular)
        return !bits.overrun;  // nothing else is needed to turn such a stream away
    bits.Marker();
    const unsigned resolution = bits.Read(16);
    if (resolution == 0)
        return false;
    int incrementBits = 1;
    while (incrementBits < 16 && (1u << incrementBits) < resolution)
        ++incrementBits;
    header.timeIncrementBits = incrementBits;
    bits.Marker();
    if (bits.Flag())
        bits.Read(incrementBits);  // fixed picture rate
    bits.Marker();
    header.width = static_cast<int>(bits.Read(13));
    bits.Marker();
    header.height = static_cast<int>(bits.Read(13));
    bits.Marker();
    header.interlaced = bits.Flag();
    bits.Read(1);  // overlapped motion compensation off
    header.sprite = (version == 1 ? bits.Read(1) : bits.Read(2)) != 0;
    if (header.sprite)
        return !bits.overrun;
    header.eightBit = !bits.Flag();
    if (!header.eightBit)
        return !bits.overrun;
    header.mpegQuant = bits.Flag();
    if (header.mpegQuant) {
        if (bits.Flag())
            SkipQuantMatrix(bits);
        if (bits.Flag())
            SkipQuantMatrix(bits);
    }
    if (version != 1)
        header.quarterPel = bits.Flag();
    header.complexityEstimation = !bits.Flag();
    if (header.complexityEstimation)
        return !bits.overrun;
    bits.Read(1);  // resynchronisation markers off
    header.dataPartitioned = bits.Flag();
    if (header.dataPartitioned)
        bits.Read(1);  // reversible codes
    if (version != 1) {
        header.newPrediction = bits.Flag();
        if (header.newPrediction)
            return !bits.overrun;
        header.reducedResolution = bits.Flag();
    }
    header.scalable = bits.Flag();
    return !bits.overrun;
}

}  // namespace

bool ReadXvidSequenceHeader(const std::uint8_t* frame, std::size_t length, XvidSequenceHeader& header)
{
    if (frame == nullptr)
        return false;
    for (std::size_t at = NextStartCode(frame, length, 0); at < length; at = NextStartCode(frame, length, at)) {
        const std::uint8_t code = frame[at];
        if (code == kPictureStart)
            return false;
        if (code >= 0x20 && code <= 0x2F) {
            BitReader bits(frame + at + 1, length - at - 1);
            XvidSequenceHeader read;
            if (!ReadLayer(bits, read) || bits.broken)
                return false;
            header = read;
            return true;
        }
    }
    return false;
}

bool IsUncodedXvidPicture(const std::uint8_t* frame, std::size_t length, int timeIncrementBits)
{
    if (frame == nullptr)
        return false;
    for (std::size_t at = NextStartCode(frame, length, 0); at < length; at = NextStartCode(frame, length, at)) {
        if (frame[at] != kPictureStart)
            continue;
        BitReader bits(frame + at + 1, length - at - 1);
        bits.Read(2);  // coding type
        int seconds = 0;
        while (bits.Flag() && !bits.overrun && ++seconds < 64) {
        }
        bits.Marker();
        bits.Read(timeIncrementBits);
        bits.Marker();
        const bool coded = bits.Flag();
        return !bits.overrun && !coded;
    }
    return false;
}

bool AvDecodesLikeXvid(const XvidSequenceHeader& header)
{
    // Measured against the XviD library: interlaced pictures (field motion with four vectors
    // or with pictures predicted from both sides) and the MPEG quantiser decode differently;
    // pictures predicted from both sides are held back and given out by rules of each
    // decoder's own; quarter-sample motion from the XviD library's own encoder is rounded in
    // ways libavcodec only guesses at; sprites, shapes, partitioned data and the rest are
    // left to the library that has always decoded them.
    return header.rectangular && header.chroma420 && header.lowDelay && header.eightBit && !header.interlaced &&
           !header.sprite && !header.quarterPel && !header.mpegQuant && !header.complexityEstimation && !header.dataPartitioned &&
           !header.newPrediction && !header.reducedResolution && !header.scalable && header.width > 0 &&
           header.height > 0;
}
