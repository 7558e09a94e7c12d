// camera_sim: a network camera on one machine. Serves moving test pictures in H.264, H.265
// and Motion JPEG with G.711 or AAC sound over RTSP (GStreamer's RTSP server), optionally
// behind credentials, on the loopback address and port given on its command line.
#include "common/CommandHelp.h"
#include "tools/camera_sim/CameraOptions.h"
#include "tools/camera_sim/PtzScene.h"
#include "tools/camera_sim/RtspCamera.h"

#include <glib-unix.h>
#include <gst/gst.h>

#include <cstdio>
#include <cstring>
#include <string>

// GLib allocates a buffer in its own load-time constructor and keeps it until the process
// ends; the leak check of the sanitizer build is told so for this program alone (the test
// camera is GLib's from its first line, the programs of the suite are not).
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:libglib-2.0.so\n";
}

namespace {

struct Context {
    camera::RtspCamera* camera = nullptr;
    GMainLoop* loop = nullptr;
};

void Log(const char* format, const char* value, int number)
{
    std::printf("camera_sim: ");
    std::printf(format, value, number);
    std::printf("\n");
    std::fflush(stdout);
}

gboolean OnDropSignal(gpointer data)
{
    auto* context = static_cast<Context*>(data);
    Log("%sdropped %d clients", "", context->camera->DropClients());
    return G_SOURCE_CONTINUE;
}

gboolean OnQuitSignal(gpointer data)
{
    g_main_loop_quit(static_cast<Context*>(data)->loop);
    return G_SOURCE_REMOVE;
}

gboolean OnCommand(GIOChannel* channel, GIOCondition condition, gpointer data)
{
    auto* context = static_cast<Context*>(data);
    gchar* line = nullptr;
    gsize length = 0;
    GIOStatus status = (condition & G_IO_IN)
                           ? g_io_channel_read_line(channel, &line, &length, nullptr, nullptr)
                           : G_IO_STATUS_EOF;
    if (status == G_IO_STATUS_EOF || status == G_IO_STATUS_ERROR) {
        g_free(line);
        return G_SOURCE_REMOVE;  // standard input closed: keep serving until a signal
    }
    std::string command = line ? line : "";
    g_free(line);
    while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
        command.pop_back();
    if (command == "drop")
        OnDropSignal(context);
    else if (command == "quit")
        g_main_loop_quit(context->loop);
    else if (!command.empty())
        Log("unknown command '%s'%.0d", command.c_str(), 0);
    return G_SOURCE_CONTINUE;
}

}  // namespace

int Serve(const camera::CameraOptions& options);

int main(int argc, char** argv)
{
    // What the camera is, then the option lines of the usage text below its first line.
    const std::string help =
        "A simulated network camera: moving test pictures in H.264, H.265 and Motion JPEG with\n"
        "G.711 or AAC sound over RTSP, optionally behind credentials, for testing and\n"
        "demonstrating the live client without camera hardware. Linked to an onvif_sim, its\n"
        "picture pans and tilts with the PTZ commands the services take.\n"
        "\nOptions:\n"
        "  --help               print this text and exit\n"
        "  --version            print the version and exit\n" +
        std::string(std::strchr(camera::UsageText(), '\n') + 1);
    if (suite::AnswerHelpOrVersion(argc, argv, "[options]", help.c_str()))
        return 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(camera::UsageText(), stdout);
            return 0;
        }
    }
    camera::CameraOptions options;
    std::string error;
    if (!camera::ParseOptions(argc, argv, options, &error)) {
        std::fprintf(stderr, "camera_sim: %s\n%s", error.c_str(), camera::UsageText());
        return 2;
    }
    gst_init(nullptr, nullptr);

    // The camera and everything it holds go before GStreamer is shut down, so the process
    // ends with nothing of GStreamer's left allocated.
    const int status = Serve(options);
    gst_deinit();
    return status;
}

int Serve(const camera::CameraOptions& options)
{
    std::string error;
    // Declared before the camera: the streams' crops are let go of after the camera is gone.
    camera::PtzScene scene;
    camera::PtzControl control(scene);
    camera::RtspCamera camera(options);
    if (!options.ptzControl.empty()) {
        if (!control.Open(options.ptzControl, &error)) {
            std::fprintf(stderr, "camera_sim: %s\n", error.c_str());
            return 1;
        }
        camera.Steer(&scene);
    }
    if (!camera.Start(&error)) {
        std::fprintf(stderr, "camera_sim: %s\n", error.c_str());
        return 1;
    }
    Context context;
    context.camera = &camera;
    context.loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGUSR1, OnDropSignal, &context);
    g_unix_signal_add(SIGINT, OnQuitSignal, &context);
    g_unix_signal_add(SIGTERM, OnQuitSignal, &context);
    GIOChannel* input = g_io_channel_unix_new(0);
    g_io_add_watch(input, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), OnCommand,
                   &context);

    for (const camera::StreamSpec& spec : options.streams) {
        std::printf("camera_sim: stream rtsp://%s:%d/%s %s %dx%d@%d sound %s\n",
                    options.address.c_str(), options.port, spec.path.c_str(),
                    camera::VideoCodecName(spec.video), spec.width, spec.height, spec.fps,
                    options.preencodedSeconds > 0 ? "none" : camera::AudioCodecName(spec.audio));
    }
    if (!options.ptzControl.empty())
        std::printf("camera_sim: PTZ control on %s%s\n", options.ptzControl.c_str(),
                    options.preencodedSeconds > 0 ? " (clips encoded beforehand do not move)" : "");
    std::printf("camera_sim: ready on %s:%d\n", options.address.c_str(), options.port);
    std::fflush(stdout);

    g_main_loop_run(context.loop);
    Log("%sstopping%.0d", "", 0);
    g_source_remove_by_user_data(&context);
    while (g_source_remove_by_user_data(&context)) {
    }
    g_io_channel_unref(input);
    g_main_loop_unref(context.loop);
    return 0;
}
