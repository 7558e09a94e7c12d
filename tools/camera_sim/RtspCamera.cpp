#include "tools/camera_sim/RtspCamera.h"

#include "tools/camera_sim/PipelineText.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>

#include <cstdio>
#include <utility>

namespace camera {

namespace {

constexpr const char* kRole = "viewer";

// Where one client group of a looped clip stands; lives as long as its media.
struct ClipPlayhead {
    const Clip* clip = nullptr;
    guint64 next = 0;  // pictures handed out so far
};

}  // namespace

RtspCamera::RtspCamera(CameraOptions options) : options_(std::move(options)) {}

RtspCamera::~RtspCamera()
{
    if (server_)
        g_object_unref(server_);
}

bool RtspCamera::EncodeClip(const StreamSpec& spec, Clip& clip, std::string* error)
{
    clip.spec = spec;
    const int frames = options_.preencodedSeconds * spec.fps;
    GError* parseError = nullptr;
    GstElement* pipeline = gst_parse_launch(ClipEncoding(spec, frames).c_str(), &parseError);
    if (!pipeline) {
        if (error)
            *error = std::string("clip pipeline: ") + (parseError ? parseError->message : "?");
        g_clear_error(&parseError);
        return false;
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    while (GstSample* sample = gst_app_sink_pull_sample(GST_APP_SINK(sink))) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            Clip::Picture picture;
            picture.bytes.assign(map.data, map.data + map.size);
            picture.key = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
            clip.pictures.push_back(std::move(picture));
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    if (clip.pictures.empty() || !clip.pictures.front().key) {
        if (error)
            *error = "clip of " + spec.path + " has no pictures or does not start at a key frame";
        return false;
    }
    return true;
}

void RtspCamera::OnNeedData(GstElement* source, guint, gpointer state)
{
    auto* playhead = static_cast<ClipPlayhead*>(state);
    const Clip& clip = *playhead->clip;
    const Clip::Picture& picture = clip.pictures[playhead->next % clip.pictures.size()];
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, picture.bytes.size(), nullptr);
    gst_buffer_fill(buffer, 0, picture.bytes.data(), picture.bytes.size());
    const GstClockTime duration = gst_util_uint64_scale_int(GST_SECOND, 1, clip.spec.fps);
    GST_BUFFER_PTS(buffer) = playhead->next * duration;
    GST_BUFFER_DTS(buffer) = GST_BUFFER_PTS(buffer);
    GST_BUFFER_DURATION(buffer) = duration;
    if (!picture.key)
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    ++playhead->next;
    gst_app_src_push_buffer(GST_APP_SRC(source), buffer);  // takes the buffer
}

void RtspCamera::OnMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer clip)
{
    GstElement* element = gst_rtsp_media_get_element(media);
    GstElement* source = gst_bin_get_by_name_recurse_up(GST_BIN(element), "clip");
    if (source) {
        auto* playhead = new ClipPlayhead{static_cast<const Clip*>(clip), 0};
        g_object_set_data_full(G_OBJECT(media), "camera-playhead", playhead,
                               [](gpointer data) { delete static_cast<ClipPlayhead*>(data); });
        g_signal_connect(source, "need-data", G_CALLBACK(OnNeedData), playhead);
        gst_object_unref(source);
    }
    gst_object_unref(element);
}

void RtspCamera::OnSteeredMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media,
                                         gpointer data)
{
    auto* steered = static_cast<Steered*>(data);
    GstElement* element = gst_rtsp_media_get_element(media);
    GstElement* crop = gst_bin_get_by_name_recurse_up(GST_BIN(element), kSteeringElement);
    if (crop) {
        steered->scene->AddView(media, crop, steered->spec);
        // The scene lets go of the crop when the media's pipeline is taken down.
        g_signal_connect(media, "unprepared",
                         G_CALLBACK(+[](GstRTSPMedia* gone, gpointer scene) {
                             static_cast<PtzScene*>(scene)->RemoveView(gone);
                         }),
                         steered->scene);
        gst_object_unref(crop);
    }
    gst_object_unref(element);
}

bool RtspCamera::Start(std::string* error)
{
    server_ = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server_, options_.address.c_str());
    gst_rtsp_server_set_service(server_, std::to_string(options_.port).c_str());

    if (!options_.user.empty()) {
        GstRTSPAuth* auth = gst_rtsp_auth_new();
        GstRTSPToken* token =
            gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kRole, NULL);
        gst_rtsp_auth_add_digest(auth, options_.user.c_str(), options_.password.c_str(), token);
        GstRTSPAuthMethod methods = GST_RTSP_AUTH_DIGEST;
        if (!options_.digestOnly) {
            gchar* basic = gst_rtsp_auth_make_basic(options_.user.c_str(), options_.password.c_str());
            gst_rtsp_auth_add_basic(auth, basic, token);
            g_free(basic);
            methods = static_cast<GstRTSPAuthMethod>(methods | GST_RTSP_AUTH_BASIC);
        }
        gst_rtsp_auth_set_supported_methods(auth, methods);
        gst_rtsp_token_unref(token);
        gst_rtsp_server_set_auth(server_, auth);
        g_object_unref(auth);
    }

    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server_);
    for (const StreamSpec& spec : options_.streams) {
        GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
        // One pipeline per stream, whatever the number of clients: a camera encodes once.
        gst_rtsp_media_factory_set_shared(factory, TRUE);
        if (options_.preencodedSeconds > 0) {
            auto clip = std::make_unique<Clip>();
            if (!EncodeClip(spec, *clip, error)) {
                g_object_unref(factory);
                g_object_unref(mounts);
                return false;
            }
            gst_rtsp_media_factory_set_launch(factory, ClipMedia(spec).c_str());
            g_signal_connect(factory, "media-configure", G_CALLBACK(OnMediaConfigure), clip.get());
            std::printf("camera_sim: clip %s encoded, %zu pictures\n", spec.path.c_str(),
                        clip->pictures.size());
            clips_.push_back(std::move(clip));
        } else {
            gst_rtsp_media_factory_set_launch(
                factory, LiveMedia(spec, options_.bframes, scene_ != nullptr).c_str());
            if (scene_ != nullptr) {
                steered_.push_back(std::make_unique<Steered>(Steered{scene_, spec}));
                g_signal_connect(factory, "media-configure", G_CALLBACK(OnSteeredMediaConfigure),
                                 steered_.back().get());
            }
        }
        if (!options_.user.empty()) {
            gst_rtsp_media_factory_add_role(factory, kRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS,
                                            G_TYPE_BOOLEAN, TRUE,
                                            GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN,
                                            TRUE, NULL);
        }
        gst_rtsp_mount_points_add_factory(mounts, ("/" + spec.path).c_str(), factory);
    }
    g_object_unref(mounts);

    if (gst_rtsp_server_attach(server_, nullptr) == 0) {
        if (error)
            *error = "cannot listen on " + options_.address + ":" + std::to_string(options_.port);
        return false;
    }
    return true;
}

int RtspCamera::DropClients()
{
    int dropped = 0;
    GList* clients = gst_rtsp_server_client_filter(
        server_,
        [](GstRTSPServer*, GstRTSPClient*, gpointer count) {
            ++*static_cast<int*>(count);
            return GST_RTSP_FILTER_REMOVE;
        },
        &dropped);
    g_list_free_full(clients, g_object_unref);
    return dropped;
}

}  // namespace camera
