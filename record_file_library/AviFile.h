#pragma once
// The AVI file library of the recording writer: one AVI 1.0 file being written, with up to
// two streams, a legacy idx1 index and a header that stays truthful while the file grows.
//
// Operations mirror the ones the slot logic is written against: Open (create for writing),
// CreateStream, SetFormat, Write (one chunk, optionally flagged AVIIF_KEYFRAME, zero length
// allowed), EndStreaming, EndRecord (write idx1 and the final header), Release. Each returns
// 0 on success and non-zero on failure.
//
// Crash safety: the header area (RIFF size, hdrl, movi size) is reserved at creation and
// rewritten in place, after the data it describes is on disk, whenever a stream or format is
// added, after every audio chunk and after at most two seconds of video chunks. A process
// killed at any moment therefore leaves a file whose header describes only complete chunks
// that are on disk; at most the chunks since the last refresh are beyond the movi size. A
// write that fails (full disk, write limit) cuts the file back to its last complete chunk,
// so everything written before stays readable.
//
// Room kept free: a file opened with keep_free_bytes grows only while its drive keeps that
// many bytes free beyond the growth, its own idx1 counted as growth still to come. A chunk
// that would eat into that room is refused like a write on a full disk, so what the room is
// kept for (the recording index written at close) still fits when the drive is otherwise full.
//
// Not thread-safe: the owner (AviStreamWriter) serialises all calls under its lock.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/AviDefs.h"
#include "platform/Files.h"

namespace stordane {

class AviFile {
 public:
  static constexpr int kMaxStreams = 2;
  // Bytes gathered in memory before they are written; one host write per this many bytes.
  static constexpr std::size_t kStagingBytes = 256 * 1024;
  // Free space is asked of the drive again after this much written by the file, or whenever
  // the last answer comes within kFreeSpaceMargin of the kept room.
  static constexpr std::uint64_t kFreeSpaceRecheckBytes = 4ull << 20;
  static constexpr std::uint64_t kFreeSpaceMargin = 256ull << 20;
  // Largest format accepted by SetFormat; keeps the header inside its reserved area.
  static constexpr std::size_t kMaxFormatBytes = 512;

  AviFile() = default;
  ~AviFile();
  AviFile(const AviFile&) = delete;
  AviFile& operator=(const AviFile&) = delete;

  // Creates (or truncates) the file at the Windows-form or host path and writes the
  // provisional header. Fails when a file is already open here, the host refuses, or the
  // drive has no room for the header beyond `keep_free_bytes` (see above; 0 keeps none).
  // A drive whose free space cannot be asked (host paths, a failing drive) is written until
  // the host itself refuses.
  int Open(std::string_view path, std::uint64_t keep_free_bytes = 0);
  bool IsOpen() const { return file_.IsOpen(); }

  // Adds a stream described by `header` (dwLength, dwFlags and dwInitialFrames are kept by
  // the file). Streams are numbered in creation order; the number is stored in `*stream`.
  int CreateStream(const avi::AviStreamHeader& header, int* stream);
  // Sets the 'strf' data of a stream (copied). `bytes` must be 1..kMaxFormatBytes.
  int SetFormat(int stream, const void* format, std::size_t bytes);
  // Appends one chunk of `bytes` bytes (the caller keeps `data`; it may be null when
  // `bytes` is 0). `flags` go into the idx1 entry (AVIIF_KEYFRAME for key frames).
  int Write(int stream, const void* data, std::size_t bytes, std::uint32_t flags);
  // Marks a stream as finished; further writes to it fail.
  int EndStreaming(int stream);
  // Writes the buffered chunks, idx1 and the final header. The file stays open until
  // Release; a second EndRecord does nothing. When idx1 cannot be written the file is left
  // without it (and without AVIF_HASINDEX) and the call fails.
  int EndRecord();
  // Closes the file; finishes it first (EndRecord) if that was not done. Returns the result
  // of that finishing, or 0.
  int Release();

  // Host-side reason of the last failure, for trace lines.
  platform::FileError LastError() const { return last_error_; }

 private:
  struct Stream {
    avi::AviStreamHeader header{};
    std::vector<unsigned char> format;
    std::uint32_t chunks = 0;           // chunks in the file (also in staging)
    std::uint64_t bytes = 0;            // data bytes in those chunks
    std::uint32_t max_chunk_bytes = 0;
    bool ended = false;
  };

  int Fail(platform::FileError error);
  // True when the drive can take `bytes` more and still keep keep_free_bytes_ free. The
  // drive is asked again only when the last answer, less what this file wrote since, comes
  // near the limit or grows old (kFreeSpaceRecheckBytes written).
  bool HasRoomFor(std::uint64_t bytes);
  // Bytes of the idx1 chunk that EndRecord would write now.
  std::uint64_t IndexChunkBytes() const;
  // Builds the header area (kAviMoviDataOffset bytes) from the current counts.
  void BuildHeader(std::vector<unsigned char>& out, bool has_index, std::uint64_t file_end) const;
  // Appends bytes of the chunk being written, writing the buffer each time it fills.
  bool Stage(const void* data, std::size_t bytes);
  // Writes the staging buffer; on failure cuts the file back to its last complete chunk.
  bool FlushStaging();
  // Flushes, then rewrites the header area in place to describe what is on disk.
  bool RefreshHeader(bool has_index, std::uint64_t file_end);
  // After a failed write: drops the chunks not completely on disk, cuts the file there.
  void CutToCompleteChunks(std::uint64_t bytes_on_disk);
  std::uint32_t RefreshIntervalFrames() const;

  platform::File file_;
  std::string path_;                     // as given to Open, for the free-space query
  std::uint64_t keep_free_bytes_ = 0;
  std::vector<Stream> streams_;
  std::vector<avi::AviIndexEntry> index_;
  std::vector<unsigned char> staging_;   // chunks not yet written, file order
  std::vector<unsigned char> header_scratch_;
  unsigned char* head_ = nullptr;        // the file's header area, mapped; null: use WriteAt
  std::uint64_t staged_from_ = 0;        // file offset of staging_[0]
  std::uint64_t movi_end_ = 0;           // end of the last chunk, staged ones included
  std::uint32_t video_since_refresh_ = 0;
  bool finished_ = false;
  bool write_through_ = false;           // set by the first failed write
  bool failed_finish_ = false;
  platform::FileError last_error_ = platform::FileError::None;
  // The last free-space answer and the file's size on disk when it came.
  bool free_known_ = false;
  std::uint64_t free_bytes_ = 0;
  std::uint64_t free_at_size_ = 0;
};

}  // namespace stordane
