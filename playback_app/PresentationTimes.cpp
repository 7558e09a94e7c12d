#include "playback_app/PresentationTimes.h"

#include <algorithm>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace lumaro {

namespace {

struct Picture {
  std::int64_t decodingTime;
  int order;  // picture order count
};

// Within a group the k-th picture by order count is shown at the k-th decoding time.
void OrderGroup(std::vector<Picture>& group, PresentationTimes& times) {
  if (group.empty()) return;
  std::vector<std::int64_t> slots;
  slots.reserve(group.size());
  for (const Picture& picture : group) slots.push_back(picture.decodingTime);
  std::sort(slots.begin(), slots.end());
  std::stable_sort(group.begin(), group.end(), [](const Picture& a, const Picture& b) { return a.order < b.order; });
  bool ordered = true;
  for (std::size_t i = 1; i < group.size() && ordered; ++i) ordered = group[i].order != group[i - 1].order;
  if (!ordered) ++times.unorderedGroups;
  for (std::size_t i = 0; i < group.size(); ++i) {
    const std::int64_t decoding = group[i].decodingTime;
    // Two pictures with one count: the counts are not to be trusted (damage, or a stream the
    // parser cannot follow), so the group keeps its decoding order.
    const std::int64_t shown = ordered ? slots[i] : decoding;
    times.ofDecodingTime[decoding] = shown;
    times.decodingShift = std::max(times.decodingShift, decoding - shown);
  }
  group.clear();
}

}  // namespace

PresentationTimes ReadPresentationTimes(const std::string& sourceHost, int streamIndex) {
  PresentationTimes times;
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, sourceHost.c_str(), nullptr, nullptr) < 0) return times;
  AVCodecParserContext* parser = nullptr;
  AVCodecContext* context = nullptr;
  AVPacket* packet = av_packet_alloc();
  const bool known = streamIndex >= 0 && static_cast<unsigned>(streamIndex) < input->nb_streams;
  const AVCodecParameters* codec = known ? input->streams[streamIndex]->codecpar : nullptr;
  if (codec && (codec->codec_id == AV_CODEC_ID_H264 || codec->codec_id == AV_CODEC_ID_HEVC)) {
    parser = av_parser_init(codec->codec_id);
    context = avcodec_alloc_context3(nullptr);
    if (context && avcodec_parameters_to_context(context, codec) < 0) avcodec_free_context(&context);
  }
  if (parser && context && packet) {
    // Each AVI chunk is one whole picture; the parser only reads its headers.
    parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    for (unsigned i = 0; i < input->nb_streams; ++i)
      if (static_cast<int>(i) != streamIndex) input->streams[i]->discard = AVDISCARD_ALL;
    std::vector<Picture> group;
    int highestOrder = 0;
    while (av_read_frame(input, packet) >= 0) {
      if (packet->stream_index == streamIndex && packet->size > 0 && packet->dts != AV_NOPTS_VALUE) {
        std::uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser, context, &out, &outSize, packet->data, packet->size, AV_NOPTS_VALUE, AV_NOPTS_VALUE,
                         0);
        const int order = parser->output_picture_number;
        // The counts start again at an instantaneous refresh: a key frame whose count is not
        // above the group's begins the next group, one that goes on counting stays in it.
        if (!group.empty() && parser->key_frame == 1 && order <= highestOrder) OrderGroup(group, times);
        highestOrder = group.empty() ? order : std::max(highestOrder, order);
        group.push_back(Picture{packet->dts, order});
      }
      av_packet_unref(packet);
    }
    OrderGroup(group, times);
  }
  av_packet_free(&packet);
  avcodec_free_context(&context);
  if (parser) av_parser_close(parser);
  avformat_close_input(&input);
  return times;
}

}  // namespace lumaro
