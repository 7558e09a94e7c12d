#include "playback_app/Mp4Remux.h"

#include <memory>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "common/TraceMessage.h"
#include "playback_app/AacSoundWriter.h"
#include "playback_app/PresentationTimes.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace lumaro {

namespace {

struct InputCloser {
  AVFormatContext* context = nullptr;
  ~InputCloser() { avformat_close_input(&context); }
};

struct OutputCloser {
  AVFormatContext* context = nullptr;
  ~OutputCloser() {
    if (!context) return;
    if (context->pb) avio_closep(&context->pb);
    avformat_free_context(context);
  }
};

// What becomes of one stream of the recording in the MP4.
struct StreamPlan {
  int output = -1;                       // copied packets go to this stream
  AacSoundWriter* sound = nullptr;       // or they are encoded as AAC by this
  const PresentationTimes* times = nullptr;  // pictures whose display order the AVI lost
};

bool CopyPacket(AVPacket* packet, const AVStream* in, AVFormatContext* output, const StreamPlan& plan) {
  if (plan.times && packet->dts != AV_NOPTS_VALUE) {
    const auto shown = plan.times->ofDecodingTime.find(packet->dts);
    packet->pts = shown != plan.times->ofDecodingTime.end() ? shown->second : packet->dts;
    packet->dts -= plan.times->decodingShift;
  }
  // AVI packets carry decoding times only; with no reordering they are the presentation times.
  if (packet->pts == AV_NOPTS_VALUE) packet->pts = packet->dts;
  AVStream* out = output->streams[plan.output];
  av_packet_rescale_ts(packet, in->time_base, out->time_base);
  packet->stream_index = out->index;
  packet->pos = -1;
  return av_interleaved_write_frame(output, packet) >= 0;
}

RemuxResult Copy(const std::string& sourceHost, const std::string& targetHost) {
  InputCloser input;
  if (avformat_open_input(&input.context, sourceHost.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(input.context, nullptr) < 0)
    return RemuxResult::SourceUnreadable;
  OutputCloser output;
  if (avformat_alloc_output_context2(&output.context, nullptr, "mp4", targetHost.c_str()) < 0)
    return RemuxResult::WriteFailed;
  std::vector<StreamPlan> plans(input.context->nb_streams);
  std::vector<std::unique_ptr<AacSoundWriter>> sounds;
  std::vector<std::unique_ptr<PresentationTimes>> times;
  int copied = 0;
  bool pictures = false, picturesCarried = false;
  for (unsigned i = 0; i < input.context->nb_streams; ++i) {
    const AVCodecParameters* codec = input.context->streams[i]->codecpar;
    if (codec->codec_type != AVMEDIA_TYPE_VIDEO && codec->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    pictures = pictures || codec->codec_type == AVMEDIA_TYPE_VIDEO;
    const bool fits = avformat_query_codec(output.context->oformat, codec->codec_id, FF_COMPLIANCE_NORMAL) == 1;
    if (!fits && codec->codec_type == AVMEDIA_TYPE_AUDIO) {
      auto sound = std::make_unique<AacSoundWriter>();
      if (!sound->Open(input.context->streams[i], output.context)) {
        TraceMessage("[LUMARO] - save video of %s: the sound is left out.", sourceHost.c_str());
        continue;
      }
      plans[i].sound = sound.get();
      sounds.push_back(std::move(sound));
      ++copied;
      continue;
    }
    if (!fits) continue;
    AVStream* stream = avformat_new_stream(output.context, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, codec) < 0) return RemuxResult::WriteFailed;
    stream->codecpar->codec_tag = codec->codec_id == AV_CODEC_ID_HEVC ? MKTAG('h', 'v', 'c', '1') : 0;
    stream->time_base = input.context->streams[i]->time_base;
    if (codec->codec_id == AV_CODEC_ID_H264 || codec->codec_id == AV_CODEC_ID_HEVC) {
      times.push_back(std::make_unique<PresentationTimes>(ReadPresentationTimes(sourceHost, static_cast<int>(i))));
      if (times.back()->unorderedGroups > 0)
        TraceMessage("[LUMARO] - save video of %s: %d picture groups kept in decoding order.", sourceHost.c_str(),
                     times.back()->unorderedGroups);
      plans[i].times = times.back().get();
    }
    plans[i].output = stream->index;
    picturesCarried = picturesCarried || codec->codec_type == AVMEDIA_TYPE_VIDEO;
    ++copied;
  }
  // A recording whose pictures the MP4 cannot hold (WMV9) is refused rather than saved as
  // its sound alone.
  if (pictures && !picturesCarried) {
    TraceMessage("[LUMARO] - save video of %s: its pictures cannot be carried in MP4.", sourceHost.c_str());
    return RemuxResult::NothingToCopy;
  }
  if (copied == 0) return RemuxResult::NothingToCopy;
  if (avio_open(&output.context->pb, targetHost.c_str(), AVIO_FLAG_WRITE) < 0 ||
      avformat_write_header(output.context, nullptr) < 0)
    return RemuxResult::WriteFailed;
  AVPacket* packet = av_packet_alloc();
  bool ok = packet != nullptr;
  while (ok && av_read_frame(input.context, packet) >= 0) {
    const int index = packet->stream_index;
    if (index >= 0 && index < static_cast<int>(plans.size()) && packet->size > 0) {
      const StreamPlan& plan = plans[static_cast<std::size_t>(index)];
      if (plan.sound)
        ok = plan.sound->Write(packet);
      else if (plan.output >= 0)
        ok = CopyPacket(packet, input.context->streams[index], output.context, plan);
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  for (const auto& sound : sounds) ok = ok && sound->Finish();
  if (!ok || av_write_trailer(output.context) < 0) return RemuxResult::WriteFailed;
  return RemuxResult::Done;
}

}  // namespace

RemuxResult RemuxToMp4(const std::string& source, const std::string& target) {
  if (platform::Exists(target)) return RemuxResult::TargetExists;
  const std::string targetHost = platform::ToHostPath(target);
  const std::string temporary = targetHost + ".part";
  const RemuxResult result = Copy(platform::ToHostPath(source), temporary);
  if (result != RemuxResult::Done) {
    platform::DeleteFile(temporary);
    TraceMessage("[LUMARO] - save video of %s failed (%d).", source.c_str(), static_cast<int>(result));
    return result;
  }
  // Moving never replaces: a file that appeared meanwhile is kept and the copy dropped.
  if (!platform::MoveFile(temporary, targetHost)) {
    platform::DeleteFile(temporary);
    return RemuxResult::TargetExists;
  }
  return RemuxResult::Done;
}

}  // namespace lumaro
