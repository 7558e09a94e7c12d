#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "player_engine/Component.h"
#include "player_engine/demuxers/Demuxer.h"

namespace pellix {

// Picture format codes between decoders and renderers.
inline constexpr int kPictureFormatNone = 0;
inline constexpr int kPictureFormatDrawDib = 4;
inline constexpr int kPictureFormatYuy2 = 7;

// The recorder's picture information block carried at the end of a compressed frame: date,
// time and caption to draw over the picture. 56 bytes, little-endian, ending with "15dc".
inline constexpr uint32_t kInfoBlockBytes = 56;
using InfoBlock = std::array<uint8_t, kInfoBlockBytes>;

// Where the block starts inside a frame of `size` bytes: the frame ends with the marker, or
// with the marker and one padding byte. -1 when the frame carries no block.
int64_t FindInfoBlock(const uint8_t* data, uint32_t size);

// How a decoder lays out its pictures: packed 4:2:2 (Y0 U Y1 V, width x 2 bytes a row), or
// planar 4:2:0 as I420 (Y, then U, then V, chroma at half width and height; even sizes only).
// The planar layout is the codecs' own, so the decoder only copies planes and the renderer
// converts once, straight to what it needs.
enum class PictureLayout { Yuy2, I420 };

// One entry of the picture ring: a decoded picture in the decoder's layout, its frame number and its block.
struct PictureEntry {
    uint32_t frame_number = 0;
    std::vector<uint8_t> picture;   // OutputSize() bytes, allocated once when the ring opens
    InfoBlock info{};
    bool has_info = false;
};

// What one decompression gave.
enum class DecompressResult { Picture, NoPicture, Fault };

// A video decoder: opens on a splitter's video format and turns its frames into packed
// 4:2:2 pictures, or planar 4:2:0 ones where its codec decodes to that. Open and Close run on the UI thread while the port does not play; Decode
// and SkipNextFrame run on whichever thread takes pictures (the frame buffer serialises them).
class VideoDecoder : public Component {
public:
    ComponentKind Kind() const override { return ComponentKind::VideoDecoder; }

    // The splitter stays the caller's and must outlive Close.
    virtual bool Open(Demuxer* splitter) = 0;
    virtual void Close() = 0;
    // Bytes of one output picture: width x height x 2 for YUY2, x 3 / 2 for I420.
    virtual uint32_t OutputSize() const = 0;
    // The layout of the pictures, settled by SetOutputFormat.
    virtual PictureLayout OutputLayout() const { return PictureLayout::Yuy2; }
    virtual int PreferredFormat() const { return kPictureFormatNone; }
    // Every decoder delivers YUY2 or I420 whatever code is asked for; true when it is set up.
    virtual bool SetOutputFormat(int code) { (void)code; return true; }
    // 1 when the pictures' rows run bottom-up.
    virtual int FlipFlag() const { return 0; }
    virtual bool StoreVerify(const VerifySettings& settings) { (void)settings; return true; }

    // Decodes into the entry: direction +1 the next frame, 0 the current frame again, -1 the
    // picture before the one last shown (decoded forwards from the key frame before it).
    virtual bool Decode(PictureEntry& entry, int direction);
    // Reads the next frame without decoding it. A key frame is left to be read again
    // (false); any other frame is passed over (true).
    virtual bool SkipNextFrame();
    // The splitter was moved: the next picture decoded is the one it stands at, with every
    // reference in place (the frames from the key frame before it are decoded first).
    virtual void Repositioned() { catch_up_ = true; }

    // True for a codec that reorders pictures (H.264 and H.265 with B-frames): it gives each
    // picture some frames after reading it, in display order. Frame numbers then count
    // pictures in display order: over a seekable splitter the decoder reads ahead on its own
    // and leaves the splitter just after the picture shown, and at the file's end hands over
    // the pictures it still holds. Groups are expected to be closed (every picture of a group
    // shown after its key frame and before the next one), as cameras send them.
    virtual bool ReordersPictures() const { return false; }

protected:
    // Decompresses one frame (without its information block) into `picture`.
    // `walking_back` marks frames decoded only to reach an earlier picture.
    virtual DecompressResult Decompress(const uint8_t* data, uint32_t size, bool key_frame, bool walking_back,
                                        uint8_t* picture) = 0;
    // Called when a decompression faulted, with the frame's splitter position.
    virtual void OnFault(uint32_t position) { (void)position; }
    // For a reordering codec: the next picture it still holds back, read no frame.
    virtual DecompressResult DrainPicture(uint8_t* picture) { (void)picture; return DecompressResult::NoPicture; }
    // For a reordering codec: forgets every reference and every held picture.
    virtual void Restart() {}
    // Decodes, without showing them, the frames from the key frame at or before the
    // splitter's frame up to the one before it.
    void CatchUp(PictureEntry& entry);

    Demuxer* splitter_ = nullptr;   // not owned; set by Open, cleared by Close

private:
    // Reads and decompresses one frame in `direction` into the entry; false when none was read.
    bool DecodeOne(PictureEntry& entry, int direction, bool walking_back);

    // Display order (ReordersPictures over a seekable splitter).
    bool DecodeInDisplayOrder(PictureEntry& entry, int direction);
    // Restarts the codec at the key frame at or before picture `target` and decodes, without
    // showing them, the pictures before it. False when the splitter cannot seek.
    bool PositionAt(PictureEntry& entry, uint32_t target);
    // The codec's next picture in display order into the entry, reading frames as it needs
    // them and draining it at the file's end; leaves the splitter just after that picture.
    bool NextInDisplayOrder(PictureEntry& entry, bool walking_back);
    // Leaves the splitter at frame `frame` (which may be the end).
    void PlaceSplitter(uint32_t frame);

    // Set by Repositioned, cleared by the next forward decode; the frame buffer's lock guards it.
    bool catch_up_ = false;
    // Display order: where the codec reads next, the number of the picture it gives next, and
    // whether both are valid. The frame buffer's lock guards them.
    uint32_t read_next_ = 0;
    uint32_t display_next_ = 0;
    bool in_step_ = false;
    bool seekable_ = true;   // cleared for a splitter that cannot seek (a pushed stream)
    // The information block of the frame read last, for the picture given next.
    InfoBlock last_info_{};
    bool last_has_info_ = false;
};

}  // namespace pellix
