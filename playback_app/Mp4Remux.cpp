#include "playback_app/Mp4Remux.h"

#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "common/TraceMessage.h"
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

RemuxResult Copy(const std::string& sourceHost, const std::string& targetHost) {
  InputCloser input;
  if (avformat_open_input(&input.context, sourceHost.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(input.context, nullptr) < 0)
    return RemuxResult::SourceUnreadable;
  OutputCloser output;
  if (avformat_alloc_output_context2(&output.context, nullptr, "mp4", targetHost.c_str()) < 0)
    return RemuxResult::WriteFailed;
  std::vector<int> map(input.context->nb_streams, -1);
  int copied = 0;
  for (unsigned i = 0; i < input.context->nb_streams; ++i) {
    const AVCodecParameters* codec = input.context->streams[i]->codecpar;
    if (codec->codec_type != AVMEDIA_TYPE_VIDEO && codec->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    if (avformat_query_codec(output.context->oformat, codec->codec_id, FF_COMPLIANCE_NORMAL) != 1) continue;
    AVStream* stream = avformat_new_stream(output.context, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, codec) < 0) return RemuxResult::WriteFailed;
    stream->codecpar->codec_tag = 0;
    stream->time_base = input.context->streams[i]->time_base;
    map[i] = copied++;
  }
  if (copied == 0) return RemuxResult::NothingToCopy;
  if (avio_open(&output.context->pb, targetHost.c_str(), AVIO_FLAG_WRITE) < 0 ||
      avformat_write_header(output.context, nullptr) < 0)
    return RemuxResult::WriteFailed;
  AVPacket* packet = av_packet_alloc();
  bool ok = packet != nullptr;
  while (ok && av_read_frame(input.context, packet) >= 0) {
    const int index = packet->stream_index;
    if (index < 0 || index >= static_cast<int>(map.size()) || map[static_cast<std::size_t>(index)] < 0 ||
        packet->size == 0) {
      av_packet_unref(packet);
      continue;
    }
    // AVI packets carry decoding times only; with no reordering they are the presentation times.
    if (packet->pts == AV_NOPTS_VALUE) packet->pts = packet->dts;
    AVStream* out = output.context->streams[map[static_cast<std::size_t>(index)]];
    av_packet_rescale_ts(packet, input.context->streams[index]->time_base, out->time_base);
    packet->stream_index = out->index;
    packet->pos = -1;
    ok = av_interleaved_write_frame(output.context, packet) >= 0;
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
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
