#pragma once

#include "tools/camera_sim/CameraOptions.h"

#include <gst/gst.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace camera {

// Where the camera looks: pan and tilt from -1 (full left / full down) to 1, zoom from 0 to 1.
struct PtzPosition {
    double pan = 0.0;
    double tilt = 0.0;
    double zoom = 0.0;
};

// The scene a steerable camera looks at: one still picture larger than any stream, of which
// every live stream shows the part its pan and tilt point at. Moves are velocities
// integrated over time (a full sweep from one end to the other takes four seconds at full
// speed); presets are positions kept by name and recalled at once. Runs on the main loop
// thread, except AddView/RemoveView, which the RTSP server may call from its own threads.
class PtzScene {
public:
    // Pan or tilt units a second at full speed.
    static constexpr double kUnitsPerSecond = 0.5;

    PtzScene() = default;
    ~PtzScene();
    PtzScene(const PtzScene&) = delete;
    PtzScene& operator=(const PtzScene&) = delete;

    // Carries out one control line ("move PAN TILT ZOOM", "stop", "store NAME",
    // "recall NAME", "forget NAME"); returns the line to print, saying what was done or why
    // the command was ignored. `now` is in microseconds of the monotonic clock.
    std::string Command(const std::string& line, gint64 now);
    // Integrates the running move up to `now` and moves every view there; true while a move
    // is still running.
    bool Advance(gint64 now);
    PtzPosition Position() const { return position_; }

    // A stream's crop element (a videocrop over the scene of that stream's size); it follows
    // the position from now on. `media` is the key RemoveView takes.
    void AddView(gpointer media, GstElement* crop, const StreamSpec& spec);
    void RemoveView(gpointer media);

    // Scene size of a stream of that size, and the crop of it a position gives.
    static int SceneWidth(const StreamSpec& spec) { return spec.width * 2; }
    static int SceneHeight(const StreamSpec& spec) { return spec.height * 2; }
    struct Crop {
        int left, right, top, bottom;
    };
    static Crop CropAt(const PtzPosition& position, const StreamSpec& spec);

private:
    struct View {
        gpointer media;
        GstElement* crop;  // one reference held
        StreamSpec spec;
    };
    void Apply();

    PtzPosition position_;
    PtzPosition velocity_;
    gint64 since_ = 0;  // when position_ was last brought up to date
    std::map<std::string, PtzPosition> presets_;
    std::mutex lock_;
    std::vector<View> views_;  // Guarded by lock_
};

// The camera end of the control link: a Unix-domain datagram socket at a file path, one
// command per datagram, read on the main loop. The services device (onvif_sim) sends to it.
class PtzControl {
public:
    explicit PtzControl(PtzScene& scene) : scene_(scene) {}
    ~PtzControl();
    // Binds the socket (replacing a stale socket file left by an earlier camera) and
    // watches it on the default main context.
    bool Open(const std::string& path, std::string* error);

private:
    static gboolean OnDatagram(gint fd, GIOCondition condition, gpointer self);
    static gboolean OnTick(gpointer self);

    PtzScene& scene_;
    std::string path_;
    int fd_ = -1;
    guint watch_ = 0;
    guint tick_ = 0;
};

}  // namespace camera
