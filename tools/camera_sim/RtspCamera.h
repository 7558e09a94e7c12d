#pragma once

#include "tools/camera_sim/CameraOptions.h"
#include "tools/camera_sim/PtzScene.h"

#include <gst/rtsp-server/rtsp-server.h>

#include <memory>
#include <string>
#include <vector>

namespace camera {

// Encoded pictures of a clip, looped by every client of its stream.
struct Clip {
    struct Picture {
        std::vector<unsigned char> bytes;
        bool key = false;
    };
    StreamSpec spec;
    std::vector<Picture> pictures;
};

// The test camera: GStreamer's RTSP server with one mount point per stream, optional
// credentials, and a way to drop every client at once. Runs on the default main context;
// every method is called from the thread running the main loop.
class RtspCamera {
public:
    explicit RtspCamera(CameraOptions options);
    ~RtspCamera();

    // Live streams started from now on show `scene` through their crop and follow its moves.
    // Called before Start(); the scene outlives the camera.
    void Steer(PtzScene* scene) { scene_ = scene; }
    // Encodes the clips (when asked for), mounts the streams and starts listening.
    bool Start(std::string* error);
    // Closes every client connection; the streams stay mounted for the next clients.
    int DropClients();
    const CameraOptions& Options() const { return options_; }

private:
    bool EncodeClip(const StreamSpec& spec, Clip& clip, std::string* error);
    static void OnMediaConfigure(GstRTSPMediaFactory* factory, GstRTSPMedia* media,
                                 gpointer clip);
    static void OnNeedData(GstElement* source, guint length, gpointer state);
    struct Steered {
        PtzScene* scene;
        StreamSpec spec;
    };
    static void OnSteeredMediaConfigure(GstRTSPMediaFactory* factory, GstRTSPMedia* media,
                                        gpointer steered);

    CameraOptions options_;
    GstRTSPServer* server_ = nullptr;
    std::vector<std::unique_ptr<Clip>> clips_;  // Immutable after Start()
    PtzScene* scene_ = nullptr;
    std::vector<std::unique_ptr<Steered>> steered_;  // Immutable after Start()
};

}  // namespace camera
