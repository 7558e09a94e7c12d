#include "tools/camera_sim/PipelineText.h"

#include <cstdio>

namespace camera {

namespace {

std::string RawCaps(const StreamSpec& spec)
{
    char text[160];
    std::snprintf(text, sizeof text, "video/x-raw,format=I420,width=%d,height=%d,framerate=%d/1",
                  spec.width, spec.height, spec.fps);
    return text;
}

}  // namespace

std::string PatternSource(const StreamSpec& spec, bool live)
{
    // The ball moves every frame, so a frozen picture shows at once; the clock tells a
    // person (and a screenshot) which second the picture is from.
    return std::string("videotestsrc pattern=ball motion=sweep background-color=0xff203040 ") +
           (live ? "is-live=true" : "is-live=false") + " ! " + RawCaps(spec) +
           " ! clockoverlay halignment=left valignment=top time-format=\"%H:%M:%S\" "
           "font-desc=\"Sans 20\" shaded-background=true";
}

std::string SteerableSource(const StreamSpec& spec)
{
    // One still picture of the colour bars at twice the stream's size, repeated at the frame
    // rate; the crop picks the part the camera points at (PtzScene moves it). The bars'
    // brightness falls from left to right, so a sideways move shows and can be measured.
    char text[512];
    std::snprintf(text, sizeof text,
                  "videotestsrc num-buffers=1 pattern=smpte ! "
                  "video/x-raw,format=I420,width=%d,height=%d ! imagefreeze is-live=true ! "
                  "video/x-raw,framerate=%d/1 ! videocrop name=%s left=%d right=%d top=%d "
                  "bottom=%d ! %s ! clockoverlay halignment=left valignment=top "
                  "time-format=\"%%H:%%M:%%S\" font-desc=\"Sans 20\" shaded-background=true",
                  spec.width * 2, spec.height * 2, spec.fps, kSteeringElement, spec.width / 2,
                  spec.width / 2, spec.height / 2, spec.height / 2, RawCaps(spec).c_str());
    return text;
}

std::string VideoEncoder(const StreamSpec& spec, int bframes)
{
    const int gop = spec.fps;  // a key frame every second
    // One slice a picture: with the encoder's sliced threads the lower slices of a picture
    // reach RTP clients torn from their picture, and the lower half of the picture smears.
    char text[400];
    switch (spec.video) {
    case VideoCodec::H264:
        std::snprintf(text, sizeof text,
                      "x264enc speed-preset=ultrafast %s sliced-threads=false key-int-max=%d bframes=%d "
                      "bitrate=%d ! h264parse config-interval=-1",
                      bframes > 0 ? "" : "tune=zerolatency", gop, bframes,
                      spec.width * spec.height >= 1280 * 720 ? 4000 : 1000);
        return text;
    case VideoCodec::H265:
        std::snprintf(text, sizeof text,
                      "x265enc speed-preset=ultrafast %s key-int-max=%d "
                      "option-string=\"bframes=%d:repeat-headers=1\" bitrate=%d ! "
                      "h265parse config-interval=-1",
                      bframes > 0 ? "" : "tune=zerolatency", gop, bframes,
                      spec.width * spec.height >= 1280 * 720 ? 3000 : 800);
        return text;
    case VideoCodec::Mjpeg:
        return "jpegenc quality=75";
    case VideoCodec::None:
        break;
    }
    return {};
}

std::string EncodedVideoCaps(const StreamSpec& spec)
{
    char text[200];
    const char* base = spec.video == VideoCodec::H264   ? "video/x-h264,stream-format=byte-stream,alignment=au"
                       : spec.video == VideoCodec::H265 ? "video/x-h265,stream-format=byte-stream,alignment=au"
                                                        : "image/jpeg";
    std::snprintf(text, sizeof text, "%s,width=%d,height=%d,framerate=%d/1", base, spec.width,
                  spec.height, spec.fps);
    return text;
}

std::string VideoPayloader(const StreamSpec& spec)
{
    switch (spec.video) {
    case VideoCodec::H264: return "rtph264pay name=pay0 pt=96 config-interval=-1";
    case VideoCodec::H265: return "rtph265pay name=pay0 pt=96 config-interval=-1";
    case VideoCodec::Mjpeg: return "rtpjpegpay name=pay0 pt=26";
    case VideoCodec::None: break;
    }
    return {};
}

std::string AudioBranch(const StreamSpec& spec)
{
    const std::string tone = "audiotestsrc is-live=true wave=ticks freq=880 volume=0.4 ! ";
    switch (spec.audio) {
    case AudioCodec::Pcmu:
        return tone + "audio/x-raw,rate=8000,channels=1 ! mulawenc ! rtppcmupay name=pay1 pt=0";
    case AudioCodec::Pcma:
        return tone + "audio/x-raw,rate=8000,channels=1 ! alawenc ! rtppcmapay name=pay1 pt=8";
    case AudioCodec::Aac:
        return tone +
               "audio/x-raw,rate=16000,channels=1 ! voaacenc bitrate=32000 ! aacparse ! "
               "rtpmp4gpay name=pay1 pt=97";
    case AudioCodec::None:
        break;
    }
    return {};
}

std::string LiveMedia(const StreamSpec& spec, int bframes, bool steerable)
{
    // Whole access units reach the payloader, so the slices of one picture share its
    // timestamp (the encoder cuts a picture into several when it runs on several threads).
    std::string text = "( " + (steerable ? SteerableSource(spec) : PatternSource(spec, true)) + " ! " + VideoEncoder(spec, bframes) +
                       " ! " + EncodedVideoCaps(spec) + " ! " + VideoPayloader(spec);
    const std::string audio = AudioBranch(spec);
    if (!audio.empty())
        text += "  " + audio;
    return text + " )";
}

std::string ClipMedia(const StreamSpec& spec)
{
    // identity holds each picture until its time on the pipeline clock, so the appsrc is
    // asked for the next one at the stream's frame rate.
    return "( appsrc name=clip is-live=true format=time caps=\"" + EncodedVideoCaps(spec) +
           "\" ! identity sync=true ! " + VideoPayloader(spec) + " )";
}

std::string ClipEncoding(const StreamSpec& spec, int frames)
{
    char count[32];
    std::snprintf(count, sizeof count, " num-buffers=%d", frames);
    std::string source = PatternSource(spec, false);
    source.insert(std::string("videotestsrc").size(), count);
    return source + " ! " + VideoEncoder(spec, 0) + " ! " + EncodedVideoCaps(spec) +
           " ! appsink name=sink sync=false";
}

}  // namespace camera
