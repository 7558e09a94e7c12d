#include "tools/camera_sim/PtzScene.h"

#include <glib-unix.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace camera {

namespace {

double Clamp(double value, double low, double high)
{
    return std::min(high, std::max(low, value));
}

std::string Describe(const PtzPosition& position)
{
    char text[96];
    std::snprintf(text, sizeof text, "pan=%.3f tilt=%.3f zoom=%.3f", position.pan,
                  position.tilt, position.zoom);
    return text;
}

// Even offsets keep the chroma of the 4:2:0 picture on its own lines and columns.
int Even(double value)
{
    return static_cast<int>(std::lround(value / 2.0)) * 2;
}

bool ReadVelocity(std::istringstream& in, double& value)
{
    std::string word;
    if (!(in >> word))
        return false;
    char* end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return end != nullptr && *end == '\0' && std::isfinite(value);
}

}  // namespace

PtzScene::~PtzScene()
{
    for (View& view : views_)
        gst_object_unref(view.crop);
}

PtzScene::Crop PtzScene::CropAt(const PtzPosition& position, const StreamSpec& spec)
{
    const int spareWidth = SceneWidth(spec) - spec.width;
    const int spareHeight = SceneHeight(spec) - spec.height;
    Crop crop{};
    // Panning right brings what lay right of the picture into it: the scene slides left.
    // Tilting up does the same from above.
    crop.left = std::min(spareWidth, Even((position.pan + 1.0) / 2.0 * spareWidth));
    crop.right = spareWidth - crop.left;
    crop.top = std::min(spareHeight, Even((1.0 - position.tilt) / 2.0 * spareHeight));
    crop.bottom = spareHeight - crop.top;
    return crop;
}

bool PtzScene::Advance(gint64 now)
{
    const double seconds = static_cast<double>(now - since_) / 1e6;
    since_ = now;
    if (seconds > 0) {
        position_.pan = Clamp(position_.pan + velocity_.pan * kUnitsPerSecond * seconds, -1, 1);
        position_.tilt = Clamp(position_.tilt + velocity_.tilt * kUnitsPerSecond * seconds, -1, 1);
        position_.zoom = Clamp(position_.zoom + velocity_.zoom * kUnitsPerSecond * seconds, 0, 1);
    }
    Apply();
    return velocity_.pan != 0 || velocity_.tilt != 0 || velocity_.zoom != 0;
}

std::string PtzScene::Command(const std::string& text, gint64 now)
{
    Advance(now);
    // Whatever arrives is echoed in the camera's lines: control bytes become '?'.
    std::string line = text;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    std::string name;
    if (verb == "move") {
        PtzPosition velocity;
        if (!ReadVelocity(in, velocity.pan) || !ReadVelocity(in, velocity.tilt) ||
            !ReadVelocity(in, velocity.zoom))
            return "ptz ignored '" + line + "': move needs three speeds";
        velocity.pan = Clamp(velocity.pan, -1, 1);
        velocity.tilt = Clamp(velocity.tilt, -1, 1);
        velocity.zoom = Clamp(velocity.zoom, -1, 1);
        velocity_ = velocity;
        return "ptz move from " + Describe(position_) + " speed " + Describe(velocity_);
    }
    if (verb == "stop") {
        velocity_ = {0, 0, 0};
        return "ptz stop at " + Describe(position_);
    }
    if ((verb == "store" || verb == "recall" || verb == "forget") && (in >> name)) {
        if (verb == "store") {
            presets_[name] = position_;
            return "ptz stored " + name + " at " + Describe(position_);
        }
        auto preset = presets_.find(name);
        if (preset == presets_.end())
            return "ptz ignored '" + line + "': no such preset";
        if (verb == "forget") {
            presets_.erase(preset);
            return "ptz forgot " + name;
        }
        velocity_ = {0, 0, 0};
        position_ = preset->second;
        Apply();
        return "ptz recalled " + name + " at " + Describe(position_);
    }
    return "ptz ignored '" + line + "': unknown command";
}

void PtzScene::Apply()
{
    std::lock_guard<std::mutex> guard(lock_);
    for (const View& view : views_) {
        const Crop crop = CropAt(position_, view.spec);
        g_object_set(view.crop, "left", crop.left, "right", crop.right, "top", crop.top,
                     "bottom", crop.bottom, nullptr);
    }
}

void PtzScene::AddView(gpointer media, GstElement* crop, const StreamSpec& spec)
{
    const Crop at = CropAt(position_, spec);
    g_object_set(crop, "left", at.left, "right", at.right, "top", at.top, "bottom", at.bottom,
                 nullptr);
    std::lock_guard<std::mutex> guard(lock_);
    views_.push_back({media, GST_ELEMENT(gst_object_ref(crop)), spec});
}

void PtzScene::RemoveView(gpointer media)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (auto view = views_.begin(); view != views_.end();) {
        if (view->media == media) {
            gst_object_unref(view->crop);
            view = views_.erase(view);
        } else {
            ++view;
        }
    }
}

PtzControl::~PtzControl()
{
    if (tick_ != 0)
        g_source_remove(tick_);
    if (watch_ != 0)
        g_source_remove(watch_);
    if (fd_ >= 0) {
        close(fd_);
        unlink(path_.c_str());
    }
}

bool PtzControl::Open(const std::string& path, std::string* error)
{
    sockaddr_un where{};
    if (path.empty() || path.size() >= sizeof where.sun_path) {
        if (error)
            *error = "control socket path '" + path + "' is empty or longer than " +
                     std::to_string(sizeof where.sun_path - 1) + " bytes";
        return false;
    }
    where.sun_family = AF_UNIX;
    std::memcpy(where.sun_path, path.c_str(), path.size() + 1);
    // A socket file left by a camera that was killed would refuse the bind; anything else
    // at the path is not ours to remove.
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode))
        unlink(path.c_str());
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        if (error)
            *error = "cannot take PTZ control at " + path + ": " + std::strerror(errno);
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
        return false;
    }
    path_ = path;
    watch_ = g_unix_fd_add(fd_, G_IO_IN, OnDatagram, this);
    return true;
}

gboolean PtzControl::OnDatagram(gint fd, GIOCondition, gpointer data)
{
    auto* self = static_cast<PtzControl*>(data);
    char buffer[512];
    ssize_t length;
    while ((length = recv(fd, buffer, sizeof buffer - 1, 0)) >= 0) {
        std::string line(buffer, static_cast<size_t>(length));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        const std::string said = self->scene_.Command(line, g_get_monotonic_time());
        std::printf("camera_sim: %s\n", said.c_str());
        std::fflush(stdout);
        const bool moving = self->scene_.Advance(g_get_monotonic_time());
        if (moving && self->tick_ == 0)
            self->tick_ = g_timeout_add(20, OnTick, self);
    }
    return G_SOURCE_CONTINUE;
}

gboolean PtzControl::OnTick(gpointer data)
{
    auto* self = static_cast<PtzControl*>(data);
    if (self->scene_.Advance(g_get_monotonic_time()))
        return G_SOURCE_CONTINUE;
    self->tick_ = 0;
    return G_SOURCE_REMOVE;
}

}  // namespace camera
