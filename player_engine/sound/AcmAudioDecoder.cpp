#include "player_engine/sound/AcmAudioDecoder.h"

#include <algorithm>
#include <cstring>

namespace pellix {

AcmAudioDecoder::~AcmAudioDecoder() { Close(); }

bool AcmAudioDecoder::Open(Demuxer* splitter) {
    Close();
    if (splitter == nullptr || splitter->Kind() != ComponentKind::Splitter) return false;
    const std::vector<uint8_t>& format = splitter->AudioFormat();
    if (format.size() < 16) return false;
    platform::WAVEFORMATEX source{};
    std::memcpy(&source, format.data(), std::min(format.size(), sizeof source));
    source.cbSize = 0;

    platform::ACMDWORD max_format_bytes = 0;
    if (platform::acmMetrics(nullptr, platform::ACM_METRIC_MAX_SIZE_FORMAT, &max_format_bytes) !=
        platform::MMSYSERR_NOERROR)
        return false;
    std::vector<uint8_t> suggested(std::max<size_t>(max_format_bytes, sizeof(platform::WAVEFORMATEX)), 0);
    auto* output = reinterpret_cast<platform::WAVEFORMATEX*>(suggested.data());
    output->wFormatTag = platform::WAVE_FORMAT_PCM;
    output->wBitsPerSample = 16;
    if (platform::acmFormatSuggest(nullptr, &source, output, static_cast<platform::ACMDWORD>(suggested.size()),
                                   platform::ACM_FORMATSUGGESTF_WFORMATTAG | platform::ACM_FORMATSUGGESTF_WBITSPERSAMPLE) !=
        platform::MMSYSERR_NOERROR)
        return false;
    std::memcpy(&output_format_, suggested.data(), sizeof output_format_);
    if (output_format_.wBitsPerSample != 8 && output_format_.wBitsPerSample != 16) output_format_.wBitsPerSample = 16;
    if (output_format_.nChannels != 1 && output_format_.nChannels != 2) output_format_.nChannels = 2;
    output_format_.nBlockAlign = static_cast<uint16_t>(output_format_.wBitsPerSample * output_format_.nChannels / 8);
    output_format_.nAvgBytesPerSec = output_format_.nBlockAlign * output_format_.nSamplesPerSec;
    output_format_.cbSize = 0;

    if (platform::acmStreamOpen(&stream_, nullptr, &source, &output_format_, nullptr, 0, 0,
                                platform::ACM_STREAMOPENF_NONREALTIME) != platform::MMSYSERR_NOERROR) {
        stream_ = nullptr;
        return false;
    }
    platform::ACMDWORD piece_bytes = 0;
    if (platform::acmStreamSize(stream_, kSourcePieceBytes, &piece_bytes, platform::ACM_STREAMSIZEF_SOURCE) !=
            platform::MMSYSERR_NOERROR ||
        piece_bytes == 0) {
        Close();
        return false;
    }
    output_piece_bytes_ = piece_bytes;
    source_.assign(kSourcePieceBytes, 0);
    output_.assign(piece_bytes, 0);
    platform::HACMDRIVERID driver = nullptr;
    platform::ACMDRIVERDETAILSA details{};
    details.cbStruct = sizeof details;
    if (platform::acmDriverID(stream_, &driver, 0) == platform::MMSYSERR_NOERROR &&
        platform::acmDriverDetailsA(driver, &details, 0) == platform::MMSYSERR_NOERROR)
        name_.assign(details.szLongName, strnlen(details.szLongName, sizeof details.szLongName));
    splitter_ = splitter;
    return true;
}

void AcmAudioDecoder::Close() {
    if (stream_ != nullptr) platform::acmStreamClose(stream_, 0);
    stream_ = nullptr;
    splitter_ = nullptr;
    output_piece_bytes_ = 0;
    source_.clear();
    output_.clear();
    name_ = "ACM Wrapper";
}

bool AcmAudioDecoder::DecodePiece(AudioPiece& entry) {
    if (stream_ == nullptr || splitter_ == nullptr) return false;
    const std::span<const uint8_t> read = splitter_->ReadAudio(kSourcePieceBytes);
    if (read.size() != kSourcePieceBytes) return false;
    if (entry.bytes.size() < output_piece_bytes_) entry.bytes.resize(output_piece_bytes_);
    entry.length = 0;
    std::memcpy(source_.data(), read.data(), kSourcePieceBytes);
    uint32_t left = kSourcePieceBytes;
    while (left > 0) {
        header_ = platform::ACMSTREAMHEADER{};
        header_.cbStruct = sizeof header_;
        header_.pbSrc = source_.data();
        header_.cbSrcLength = left;
        header_.pbDst = output_.data();
        header_.cbDstLength = static_cast<platform::ACMDWORD>(output_.size());
        if (platform::acmStreamPrepareHeader(stream_, &header_, 0) != platform::MMSYSERR_NOERROR) break;
        const bool converted = platform::acmStreamConvert(stream_, &header_, 0) == platform::MMSYSERR_NOERROR;
        if (converted && header_.cbDstLengthUsed > 0) {
            if (entry.bytes.size() < entry.length + header_.cbDstLengthUsed)
                entry.bytes.resize(entry.length + header_.cbDstLengthUsed);
            std::memcpy(entry.bytes.data() + entry.length, output_.data(), header_.cbDstLengthUsed);
            entry.length += header_.cbDstLengthUsed;
        }
        platform::acmStreamUnprepareHeader(stream_, &header_, 0);
        const uint32_t used = converted ? header_.cbSrcLengthUsed : 0;
        if (used == 0 || used > left) break;
        left -= used;
        std::memmove(source_.data(), source_.data() + used, left);
    }
    if (entry.length == 0) return false;
    entry.number = splitter_->CurrentAudioBlock();
    return true;
}

}  // namespace pellix
