#pragma once

#include <string>
#include <vector>

namespace camera {

enum class VideoCodec { None, H264, H265, Mjpeg };
enum class AudioCodec { None, Pcmu, Pcma, Aac };

// One RTSP mount point of the test camera: rtsp://address:port/<path>.
struct StreamSpec {
    std::string path;
    VideoCodec video = VideoCodec::H264;
    AudioCodec audio = AudioCodec::Pcmu;
    int width = 640;
    int height = 360;
    int fps = 25;
};

struct CameraOptions {
    std::string address = "127.0.0.1";
    int port = 8554;
    std::string user;  // empty: no credentials asked
    std::string password;
    bool digestOnly = false;  // refuse basic authentication
    // Seconds of video encoded once at start and looped; 0 encodes live. A looped clip
    // leaves the camera's processor free while a client is measured.
    int preencodedSeconds = 0;
    int bframes = 0;  // B-frames of the H.264 and H.265 encoders (live only)
    std::vector<StreamSpec> streams;
    // Unix-domain datagram socket taking PTZ commands; empty: the camera cannot be steered.
    std::string ptzControl;
};

const char* UsageText();
// Reads argv into options; false with *error set on a bad value. Without --stream the
// camera serves the default set listed by UsageText.
bool ParseOptions(int argc, char** argv, CameraOptions& options, std::string* error);
// "NAME:VIDEO:AUDIO:WxH[:FPS]", such as "h264:h264:pcmu:640x360".
bool ParseStream(const std::string& text, StreamSpec& spec, std::string* error);

const char* VideoCodecName(VideoCodec codec);
const char* AudioCodecName(AudioCodec codec);

}  // namespace camera
