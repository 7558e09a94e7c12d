#include "record_file_library/AviFile.h"

#include <algorithm>
#include <cstring>

#include "platform/Paths.h"

namespace stordane {
namespace {

using platform::FileError;

// The movi LIST header sits right before the first chunk; idx1 offsets count from its
// 'movi' code.
constexpr std::uint64_t kMoviListOffset = avi::kAviMoviDataOffset - sizeof(avi::AviListHeader);
constexpr std::uint64_t kMoviCodeOffset = kMoviListOffset + 8;

constexpr std::uint64_t Padded(std::uint64_t bytes) { return bytes + (bytes & 1); }

template <typename T>
void Put(std::vector<unsigned char>& out, std::size_t at, const T& value) {
  std::memcpy(out.data() + at, &value, sizeof(T));
}

void PutChunkHeader(std::vector<unsigned char>& out, std::size_t at, std::uint32_t fcc,
                    std::uint32_t size) {
  Put(out, at, avi::AviChunkHeader{fcc, size});
}

std::uint32_t ClampU32(std::uint64_t value) {
  return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

}  // namespace

AviFile::~AviFile() { Release(); }

int AviFile::Fail(FileError error) {
  last_error_ = error;
  return 1;
}

bool AviFile::HasRoomFor(std::uint64_t bytes) {
  if (keep_free_bytes_ == 0) return true;
  // Asking the drive costs a system call per write of the staging buffer; far from the
  // limit the last answer less what this file wrote since stands, with a margin wide enough
  // for what the other recordings on the drive write meanwhile.
  const std::uint64_t needed = bytes + keep_free_bytes_;
  if (free_known_ && staged_from_ >= free_at_size_) {
    const std::uint64_t written = staged_from_ - free_at_size_;
    if (written < kFreeSpaceRecheckBytes && free_bytes_ >= written + needed + kFreeSpaceMargin) return true;
  }
  free_known_ = false;
  platform::DiskSpace space;
  if (!platform::GetDiskFreeSpace(path_, space)) return true;
  free_known_ = true;
  free_bytes_ = space.free_bytes_available;
  free_at_size_ = staged_from_;
  return space.free_bytes_available >= needed;
}

std::uint64_t AviFile::IndexChunkBytes() const {
  return sizeof(avi::AviChunkHeader) + index_.size() * sizeof(avi::AviIndexEntry);
}

int AviFile::Open(std::string_view path, std::uint64_t keep_free_bytes) {
  if (file_.IsOpen()) return Fail(FileError::Io);
  path_.assign(path);
  keep_free_bytes_ = keep_free_bytes;
  // A drive already down to its kept room gets no new file (not even an empty one).
  if (!HasRoomFor(avi::kAviMoviDataOffset + sizeof(avi::AviChunkHeader))) return Fail(FileError::DiskFull);
  FileError error = FileError::None;
  if (!file_.Open(path, platform::File::Mode::CreateAlways, &error)) return Fail(error);
  streams_.clear();
  index_.clear();
  index_.reserve(4096);
  staging_.clear();
  staging_.reserve(kStagingBytes);
  header_scratch_.reserve(avi::kAviMoviDataOffset);
  staged_from_ = avi::kAviMoviDataOffset;
  movi_end_ = avi::kAviMoviDataOffset;
  free_known_ = false;
  video_since_refresh_ = 0;
  finished_ = false;
  failed_finish_ = false;
  write_through_ = false;
  last_error_ = FileError::None;

  BuildHeader(header_scratch_, false, movi_end_);
  if (!file_.Write(header_scratch_.data(), header_scratch_.size())) {
    // Not even the header fits (full disk): leave no empty file behind.
    const FileError write_error = file_.error();
    file_.Close();
    platform::DeleteFile(path);
    return Fail(write_error);
  }
  // The header is rewritten after every sound chunk: through the mapping that is a copy into
  // the file's own page instead of a system call each time. Without a mapping, WriteAt.
  head_ = file_.MapHead(avi::kAviMoviDataOffset);
  return 0;
}

int AviFile::CreateStream(const avi::AviStreamHeader& header, int* stream) {
  if (!file_.IsOpen() || finished_ || streams_.size() >= kMaxStreams) return Fail(FileError::Io);
  Stream added;
  added.header = header;
  added.header.dwLength = 0;
  streams_.push_back(std::move(added));
  if (stream) *stream = static_cast<int>(streams_.size()) - 1;
  return RefreshHeader(false, movi_end_) ? 0 : 1;
}

int AviFile::SetFormat(int stream, const void* format, std::size_t bytes) {
  if (!file_.IsOpen() || finished_ || stream < 0 || stream >= static_cast<int>(streams_.size()) ||
      format == nullptr || bytes == 0 || bytes > kMaxFormatBytes) {
    return Fail(FileError::Io);
  }
  const auto* begin = static_cast<const unsigned char*>(format);
  streams_[stream].format.assign(begin, begin + bytes);
  return RefreshHeader(false, movi_end_) ? 0 : 1;
}

std::uint32_t AviFile::RefreshIntervalFrames() const {
  for (const Stream& s : streams_) {
    if (s.header.fccType == avi::kFccVids && s.header.dwScale != 0) {
      return std::max<std::uint32_t>(1, 2 * s.header.dwRate / s.header.dwScale);
    }
  }
  return 50;
}

int AviFile::Write(int stream, const void* data, std::size_t bytes, std::uint32_t flags) {
  if (!file_.IsOpen() || finished_ || stream < 0 || stream >= static_cast<int>(streams_.size()) ||
      streams_[stream].ended || (data == nullptr && bytes != 0)) {
    return Fail(FileError::Io);
  }
  const std::uint64_t chunk_bytes = sizeof(avi::AviChunkHeader) + Padded(bytes);
  // The whole file, including the idx1 that close adds, must stay describable by the
  // 32-bit RIFF size; past that a chunk is refused rather than wrapping the sizes.
  const std::uint64_t file_after = movi_end_ + chunk_bytes + sizeof(avi::AviChunkHeader) +
                                   (index_.size() + 1) * sizeof(avi::AviIndexEntry);
  if (file_after > avi::kAviMaxRiffFileBytes) return Fail(FileError::DiskFull);

  Stream& s = streams_[stream];
  const bool is_audio = s.header.fccType == avi::kFccAuds;
  const std::uint32_t chunk_id =
      avi::MakeChunkId(stream, is_audio ? avi::kTwoccAudio : avi::kTwoccCompressedVideo);
  const avi::AviChunkHeader chunk_header{chunk_id, static_cast<std::uint32_t>(bytes)};

  // The chunk streams through the staging buffer, which is written whenever it fills.
  const unsigned char pad = 0;
  if (!Stage(&chunk_header, sizeof(chunk_header)) || !Stage(data, bytes) || ((bytes & 1) && !Stage(&pad, 1))) {
    return 1;
  }

  index_.push_back(avi::AviIndexEntry{chunk_id, flags,
                                      static_cast<std::uint32_t>(movi_end_ - kMoviCodeOffset),
                                      static_cast<std::uint32_t>(bytes)});
  movi_end_ += chunk_bytes;
  s.chunks += 1;
  s.bytes += bytes;
  s.max_chunk_bytes = std::max<std::uint32_t>(s.max_chunk_bytes, static_cast<std::uint32_t>(bytes));

  // After a failed write every chunk goes straight out, so each call reports its own fate.
  if (write_through_ && !FlushStaging()) return 1;

  bool refresh = is_audio;
  if (!is_audio && ++video_since_refresh_ >= RefreshIntervalFrames()) refresh = true;
  if (refresh) {
    video_since_refresh_ = 0;
    if (!RefreshHeader(false, movi_end_)) return 1;
  }
  return 0;
}

int AviFile::EndStreaming(int stream) {
  if (stream < 0 || stream >= static_cast<int>(streams_.size())) return Fail(FileError::Io);
  streams_[stream].ended = true;
  return 0;
}

int AviFile::EndRecord() {
  if (!file_.IsOpen()) return Fail(FileError::NotOpen);
  if (finished_) return failed_finish_ ? 1 : 0;
  finished_ = true;
  if (!FlushStaging()) {
    failed_finish_ = true;
    RefreshHeader(false, movi_end_);
    return 1;
  }

  std::vector<unsigned char> idx1(IndexChunkBytes());
  PutChunkHeader(idx1, 0, avi::kFccIdx1,
                 static_cast<std::uint32_t>(index_.size() * sizeof(avi::AviIndexEntry)));
  if (!index_.empty()) {
    std::memcpy(idx1.data() + sizeof(avi::AviChunkHeader), index_.data(),
                index_.size() * sizeof(avi::AviIndexEntry));
  }
  // Without room for idx1 the file is finished without it, as when its write fails: every
  // chunk stays reachable by walking movi, and the kept room stays for the recording index.
  if (!HasRoomFor(idx1.size())) {
    last_error_ = FileError::DiskFull;
    RefreshHeader(false, movi_end_);
    failed_finish_ = true;
    return 1;
  }
  if (!file_.Write(idx1.data(), idx1.size())) {
    // Leave the file as it was before idx1: every chunk stays reachable by walking movi.
    last_error_ = file_.error();
    file_.Truncate(static_cast<std::int64_t>(movi_end_));
    file_.Seek(static_cast<std::int64_t>(movi_end_), platform::File::Origin::Begin);
    RefreshHeader(false, movi_end_);
    failed_finish_ = true;
    return 1;
  }
  if (!RefreshHeader(true, movi_end_ + idx1.size())) {
    failed_finish_ = true;
    return 1;
  }
  return 0;
}

int AviFile::Release() {
  if (!file_.IsOpen()) return 0;
  int result = 0;
  if (!finished_) result = EndRecord();
  head_ = nullptr;
  if (!file_.Close() && result == 0) result = Fail(FileError::Io);
  streams_.clear();
  index_.clear();
  index_.shrink_to_fit();
  staging_.clear();
  staging_.shrink_to_fit();
  return result;
}

bool AviFile::Stage(const void* data, std::size_t bytes) {
  const auto* from = static_cast<const unsigned char*>(data);
  while (bytes > 0) {
    const std::size_t room = kStagingBytes - staging_.size();
    const std::size_t piece = std::min(room, bytes);
    staging_.insert(staging_.end(), from, from + piece);
    from += piece;
    bytes -= piece;
    if (staging_.size() == kStagingBytes && !FlushStaging()) return false;
  }
  return true;
}

bool AviFile::FlushStaging() {
  if (staging_.empty()) return true;
  if (!HasRoomFor(staging_.size() + IndexChunkBytes())) {
    // Refused like a write on a full disk: nothing of the staged chunks goes out.
    last_error_ = FileError::DiskFull;
    write_through_ = true;
    CutToCompleteChunks(staged_from_);
    return false;
  }
  if (file_.Write(staging_.data(), staging_.size())) {
    staged_from_ += staging_.size();
    staging_.clear();
    return true;
  }
  last_error_ = file_.error();
  write_through_ = true;
  const std::int64_t position = file_.Tell();
  CutToCompleteChunks(position >= 0 ? static_cast<std::uint64_t>(position) : staged_from_);
  return false;
}

void AviFile::CutToCompleteChunks(std::uint64_t bytes_on_disk) {
  staging_.clear();
  std::uint64_t end = avi::kAviMoviDataOffset;
  while (!index_.empty()) {
    const avi::AviIndexEntry& last = index_.back();
    const std::uint64_t last_end =
        kMoviCodeOffset + last.dwChunkOffset + sizeof(avi::AviChunkHeader) + Padded(last.dwChunkLength);
    if (last_end <= bytes_on_disk) {
      end = last_end;
      break;
    }
    const int stream = avi::ChunkStreamNumber(last.ckid);
    if (stream >= 0 && stream < static_cast<int>(streams_.size())) {
      streams_[stream].chunks -= 1;
      streams_[stream].bytes -= last.dwChunkLength;
    }
    index_.pop_back();
  }
  file_.Truncate(static_cast<std::int64_t>(end));
  file_.Seek(static_cast<std::int64_t>(end), platform::File::Origin::Begin);
  staged_from_ = end;
  movi_end_ = end;
}

bool AviFile::RefreshHeader(bool has_index, std::uint64_t file_end) {
  bool ok = FlushStaging();
  if (!ok) file_end = movi_end_;
  BuildHeader(header_scratch_, has_index && ok, file_end);
  // Written in place without moving the position, which stays at the end of the chunks. The
  // chunks it describes were handed to the host above, so a process killed at any point
  // leaves a header that claims only data the file holds.
  if (head_ != nullptr) {
    std::memcpy(head_, header_scratch_.data(), header_scratch_.size());
  } else if (!file_.WriteAt(0, header_scratch_.data(), header_scratch_.size())) {
    last_error_ = file_.error();
    ok = false;
  }
  return ok;
}

void AviFile::BuildHeader(std::vector<unsigned char>& out, bool has_index,
                          std::uint64_t file_end) const {
  out.assign(avi::kAviMoviDataOffset, 0);
  Put(out, 0, avi::AviListHeader{avi::kFccRiff, ClampU32(file_end - 8), avi::kFccAvi});

  std::size_t at = sizeof(avi::AviListHeader);
  const std::size_t hdrl_at = at;
  at += sizeof(avi::AviListHeader);

  avi::AviMainHeader main{};
  main.dwFlags = has_index ? avi::AVIF_HASINDEX : 0;
  main.dwStreams = static_cast<std::uint32_t>(streams_.size());
  for (const Stream& s : streams_) {
    main.dwSuggestedBufferSize = std::max(main.dwSuggestedBufferSize, s.header.dwSuggestedBufferSize);
    main.dwSuggestedBufferSize = std::max(main.dwSuggestedBufferSize, s.max_chunk_bytes);
    if (s.header.fccType == avi::kFccVids && main.dwWidth == 0 && main.dwHeight == 0) {
      if (s.header.dwRate != 0) {
        main.dwMicroSecPerFrame = static_cast<std::uint32_t>(
            (1000000ull * s.header.dwScale + s.header.dwRate / 2) / s.header.dwRate);
      }
      main.dwTotalFrames = s.chunks;
      main.dwWidth = static_cast<std::uint32_t>(std::max<int>(0, s.header.rcFrame.right));
      main.dwHeight = static_cast<std::uint32_t>(std::max<int>(0, s.header.rcFrame.bottom));
    }
  }
  PutChunkHeader(out, at, avi::kFccAvih, sizeof(main));
  Put(out, at + 8, main);
  at += 8 + sizeof(main);

  for (const Stream& s : streams_) {
    const std::size_t strl_at = at;
    at += sizeof(avi::AviListHeader);
    avi::AviStreamHeader header = s.header;
    header.dwLength = header.dwSampleSize != 0 ? ClampU32(s.bytes / header.dwSampleSize) : s.chunks;
    PutChunkHeader(out, at, avi::kFccStrh, sizeof(header));
    Put(out, at + 8, header);
    at += 8 + sizeof(header);
    if (!s.format.empty()) {
      PutChunkHeader(out, at, avi::kFccStrf, static_cast<std::uint32_t>(s.format.size()));
      std::memcpy(out.data() + at + 8, s.format.data(), s.format.size());
      at += 8 + Padded(s.format.size());
    }
    Put(out, strl_at, avi::AviListHeader{avi::kFccList, static_cast<std::uint32_t>(at - strl_at - 8), avi::kFccStrl});
  }
  Put(out, hdrl_at, avi::AviListHeader{avi::kFccList, static_cast<std::uint32_t>(at - hdrl_at - 8), avi::kFccHdrl});

  // Two streams with the largest formats take well under the reserved area, so the JUNK
  // chunk always has room for its own header.
  PutChunkHeader(out, at, avi::kFccJunk, static_cast<std::uint32_t>(kMoviListOffset - at - 8));
  Put(out, kMoviListOffset,
      avi::AviListHeader{avi::kFccList, static_cast<std::uint32_t>(movi_end_ - kMoviCodeOffset), avi::kFccMovi});
}

}  // namespace stordane
