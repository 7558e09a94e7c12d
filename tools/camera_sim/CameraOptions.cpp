#include "tools/camera_sim/CameraOptions.h"

#include <charconv>
#include <cstring>
#include <sstream>

namespace camera {

namespace {

bool ToInt(const std::string& text, int min, int max, int& value)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end && value >= min && value <= max;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    return parts;
}

std::vector<StreamSpec> DefaultStreams()
{
    return {
        {"h264", VideoCodec::H264, AudioCodec::Pcmu, 640, 360, 25},
        {"h265", VideoCodec::H265, AudioCodec::Pcma, 640, 360, 25},
        {"mjpeg", VideoCodec::Mjpeg, AudioCodec::Pcmu, 640, 360, 25},
        {"h264-aac", VideoCodec::H264, AudioCodec::Aac, 640, 360, 25},
        {"main", VideoCodec::H264, AudioCodec::Pcmu, 1920, 1080, 25},
    };
}

}  // namespace

const char* UsageText()
{
    return "usage: camera_sim [options]\n"
           "  --address A          listen address (default 127.0.0.1)\n"
           "  --port P             RTSP port (default 8554)\n"
           "  --user U --password W  credentials every stream asks for (default none)\n"
           "  --digest-only        refuse basic authentication\n"
           "  --stream NAME:VIDEO:AUDIO:WxH[:FPS]\n"
           "                       a mount point; VIDEO h264|h265|mjpeg, AUDIO none|pcmu|pcma|aac\n"
           "                       (repeatable; default h264:h264:pcmu:640x360,\n"
           "                       h265:h265:pcma:640x360, mjpeg:mjpeg:pcmu:640x360,\n"
           "                       h264-aac:h264:aac:640x360, main:h264:pcmu:1920x1080)\n"
           "  --bframes N          B-frames of the live H.264 and H.265 encoders, 0..4\n"
           "  --preencoded S       encode S seconds of video once at start and loop them\n"
           "                       (no encoding while serving; such streams carry no sound)\n"
           "  --ptz-control PATH   take pan, tilt and preset commands on a Unix-domain\n"
           "                       datagram socket at PATH (onvif_sim --camera-control PATH\n"
           "                       sends them); the live streams then show a still scene of\n"
           "                       colour bars that pans and tilts as commanded. Streams\n"
           "                       encoded beforehand (--preencoded) do not move\n"
           "Each stream is a moving test pattern with the camera's clock burned in, shared by\n"
           "all its clients. Commands on standard input: drop, quit. SIGUSR1 drops every\n"
           "client at once; SIGINT and SIGTERM stop the camera.\n"
           "A PTZ command is one datagram: 'move PAN TILT ZOOM' (speeds -1..1; a full sweep\n"
           "takes 4 s at speed 1), 'stop', 'store NAME', 'recall NAME', 'forget NAME'; the\n"
           "camera prints a line for each. Zoom is followed in its position, not in the\n"
           "picture.\n";
}

const char* VideoCodecName(VideoCodec codec)
{
    switch (codec) {
    case VideoCodec::H264: return "h264";
    case VideoCodec::H265: return "h265";
    case VideoCodec::Mjpeg: return "mjpeg";
    case VideoCodec::None: break;
    }
    return "none";
}

const char* AudioCodecName(AudioCodec codec)
{
    switch (codec) {
    case AudioCodec::Pcmu: return "pcmu";
    case AudioCodec::Pcma: return "pcma";
    case AudioCodec::Aac: return "aac";
    case AudioCodec::None: break;
    }
    return "none";
}

bool ParseStream(const std::string& text, StreamSpec& spec, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "bad --stream '" + text + "': " + why;
        return false;
    };
    std::vector<std::string> parts = Split(text, ':');
    if (parts.size() != 4 && parts.size() != 5)
        return fail("expected NAME:VIDEO:AUDIO:WxH[:FPS]");
    if (parts[0].empty() || parts[0].find_first_of("/?# ") != std::string::npos)
        return fail("the name must be one path word");
    spec.path = parts[0];
    if (parts[1] == "h264")
        spec.video = VideoCodec::H264;
    else if (parts[1] == "h265")
        spec.video = VideoCodec::H265;
    else if (parts[1] == "mjpeg")
        spec.video = VideoCodec::Mjpeg;
    else
        return fail("video must be h264, h265 or mjpeg");
    if (parts[2] == "none")
        spec.audio = AudioCodec::None;
    else if (parts[2] == "pcmu")
        spec.audio = AudioCodec::Pcmu;
    else if (parts[2] == "pcma")
        spec.audio = AudioCodec::Pcma;
    else if (parts[2] == "aac")
        spec.audio = AudioCodec::Aac;
    else
        return fail("audio must be none, pcmu, pcma or aac");
    std::vector<std::string> size = Split(parts[3], 'x');
    // Even sizes only: the encoders take 4:2:0 pictures, and the JPEG payload of RTP
    // carries at most 2040 pixels a side.
    const int maxSide = spec.video == VideoCodec::Mjpeg ? 2040 : 4096;
    if (size.size() != 2 || !ToInt(size[0], 16, maxSide, spec.width) ||
        !ToInt(size[1], 16, maxSide, spec.height) || spec.width % 2 || spec.height % 2)
        return fail("size must be WxH, even, 16.." + std::to_string(maxSide));
    spec.fps = 25;
    if (parts.size() == 5 && !ToInt(parts[4], 1, 60, spec.fps))
        return fail("frame rate must be 1..60");
    return true;
}

bool ParseOptions(int argc, char** argv, CameraOptions& options, std::string* error)
{
    auto fail = [&](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--digest-only") {
            options.digestOnly = true;
            continue;
        }
        if (i + 1 >= argc)
            return fail("missing value after " + name);
        const std::string value = argv[++i];
        if (name == "--address") {
            options.address = value;
        } else if (name == "--port") {
            if (!ToInt(value, 1, 65535, options.port))
                return fail("bad port " + value);
        } else if (name == "--user") {
            options.user = value;
        } else if (name == "--password") {
            options.password = value;
        } else if (name == "--bframes") {
            if (!ToInt(value, 0, 4, options.bframes))
                return fail("bad B-frame count " + value);
        } else if (name == "--preencoded") {
            if (!ToInt(value, 1, 60, options.preencodedSeconds))
                return fail("bad clip length " + value + " (1..60 s)");
        } else if (name == "--ptz-control") {
            if (value.empty())
                return fail("--ptz-control needs a socket path");
            options.ptzControl = value;
        } else if (name == "--stream") {
            StreamSpec spec;
            if (!ParseStream(value, spec, error))
                return false;
            for (const StreamSpec& other : options.streams) {
                if (other.path == spec.path)
                    return fail("stream " + spec.path + " given twice");
            }
            options.streams.push_back(spec);
        } else {
            return fail("unknown option " + name);
        }
    }
    if (options.user.empty() != options.password.empty())
        return fail("--user and --password go together");
    if (options.streams.empty())
        options.streams = DefaultStreams();
    return true;
}

}  // namespace camera
