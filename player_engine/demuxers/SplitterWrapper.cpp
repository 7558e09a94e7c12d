#include "player_engine/demuxers/SplitterWrapper.h"

#include <cstring>
#include <string>

#include "player_engine/demuxers/AviDemuxer.h"
#include "player_engine/demuxers/NetworkDemuxer.h"

namespace pellix {

namespace {

// One demuxer and the source it reads, named by the source's display name.
struct DemuxerDesc {
    const char* name;
    const char* source_name;
    std::unique_ptr<Demuxer> (*make)();
};

// The demuxers in the order they are tried. A download source has none: it is read only
// once it is complete, which nothing here waits for.
const DemuxerDesc kDemuxerList[] = {
    {"Network Demuxer", "Stream Input", []() -> std::unique_ptr<Demuxer> { return std::make_unique<NetworkDemuxer>(); }},
    {"AVI Demuxer", "FILE Input", []() -> std::unique_ptr<Demuxer> { return std::make_unique<AviDemuxer>(); }},
};

const std::vector<uint8_t> kNoBytes;

}  // namespace

SplitterWrapper::SplitterWrapper(int port) : port_(port) { verify_.port = port; }

SplitterWrapper::~SplitterWrapper() { Close(); }

bool SplitterWrapper::Open(Input* source) {
    Close();
    if (source == nullptr) return false;
    const char* source_name = source->DisplayName();
    for (const DemuxerDesc& desc : kDemuxerList) {
        if (std::strcmp(desc.source_name, source_name) != 0) continue;
        std::unique_ptr<Demuxer> demuxer = desc.make();
        demuxer->StoreVerify(verify_);
        if (!demuxer->Open(source)) return false;
        active_ = std::move(demuxer);
        return true;
    }
    return false;
}

void SplitterWrapper::Close() {
    if (active_) active_->Close();
    active_.reset();
}

std::string SplitterWrapper::FourCCText() const {
    if (!active_) return "NULL";
    const uint32_t fourcc = active_->VideoFourCC();
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) text[i] = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
    return text;
}

bool SplitterWrapper::HasVideo() const { return active_ && active_->HasVideo(); }
bool SplitterWrapper::HasAudio() const { return active_ && active_->HasAudio(); }
bool SplitterWrapper::TrailerFlag() const { return active_ && active_->TrailerFlag(); }
int SplitterWrapper::Width() const { return active_ ? active_->Width() : 0; }
int SplitterWrapper::Height() const { return active_ ? active_->Height() : 0; }
double SplitterWrapper::FrameRate() const { return active_ ? active_->FrameRate() : 0.0; }
const std::vector<uint8_t>& SplitterWrapper::VideoFormat() const { return active_ ? active_->VideoFormat() : kNoBytes; }
uint32_t SplitterWrapper::VideoFourCC() const { return active_ ? active_->VideoFourCC() : 0; }
uint32_t SplitterWrapper::CurrentFrameNumber() const { return active_ ? active_->CurrentFrameNumber() : 0; }
uint32_t SplitterWrapper::CurrentAudioBlock() const { return active_ ? active_->CurrentAudioBlock() : 0; }
uint32_t SplitterWrapper::FrameCount() const { return active_ ? active_->FrameCount() : 0; }
uint32_t SplitterWrapper::AudioStreamCount() const { return active_ ? active_->AudioStreamCount() : 0; }
uint32_t SplitterWrapper::LengthMs() const { return active_ ? active_->LengthMs() : 0; }
uint32_t SplitterWrapper::AudioLengthMs() const { return active_ ? active_->AudioLengthMs() : 0; }
double SplitterWrapper::PlayPosition() const { return active_ ? active_->PlayPosition() : 0.0; }
double SplitterWrapper::AudioPosition() const { return active_ ? active_->AudioPosition() : 0.0; }
int SplitterWrapper::BitsPerSample() const { return active_ ? active_->BitsPerSample() : 0; }
int SplitterWrapper::Channels() const { return active_ ? active_->Channels() : 0; }
int SplitterWrapper::SampleRate() const { return active_ ? active_->SampleRate() : 0; }
const std::vector<uint8_t>& SplitterWrapper::AudioFormat() const { return active_ ? active_->AudioFormat() : kNoBytes; }
uint32_t SplitterWrapper::NextFrameSize() const { return active_ ? active_->NextFrameSize() : 0; }
bool SplitterWrapper::ReadFrame(int direction, VideoFrameRecord& frame) {
    return active_ && active_->ReadFrame(direction, frame);
}
std::span<const uint8_t> SplitterWrapper::ReadAudio(uint32_t bytes) {
    return active_ ? active_->ReadAudio(bytes) : std::span<const uint8_t>{};
}
bool SplitterWrapper::SeekAudio(int64_t byte_position) { return active_ && active_->SeekAudio(byte_position); }
bool SplitterWrapper::SeekToFrame(int64_t frame, FrameOrigin origin) {
    return active_ && active_->SeekToFrame(frame, origin);
}
bool SplitterWrapper::AlignAudioWithVideo() { return active_ && active_->AlignAudioWithVideo(); }
bool SplitterWrapper::SeekToPosition(double position) { return active_ && active_->SeekToPosition(position); }
bool SplitterWrapper::Rewind() { return active_ && active_->Rewind(); }
bool SplitterWrapper::NextKeyFrame() { return active_ && active_->NextKeyFrame(); }
bool SplitterWrapper::PreviousKeyFrame() { return active_ && active_->PreviousKeyFrame(); }

bool SplitterWrapper::StoreVerify(const VerifySettings& settings) {
    verify_ = settings;
    verify_.port = port_;
    return true;
}

}  // namespace pellix
