#pragma once

// A network camera's device, media and PTZ services over SOAP 1.2 on HTTP. Every call is
// synchronous and returns a Result; LastError() says why a call failed, for the caller's
// trace. One client per camera, used by one thread at a time.

#include "camera_link/OnvifReply.h"

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace camlink::onvif {

class Client {
public:
    // deviceUrl: the device service, e.g. "http://192.168.1.64/onvif/device_service".
    Client(std::string deviceUrl, std::string user, std::string password);

    // Reads the camera's clock and keeps its offset from ours: the camera checks the time in
    // our credentials against its own clock, which may be far off.
    Result SyncClock();
    std::chrono::seconds ClockOffset() const { return clockOffset_; }

    Result GetDeviceInformation(DeviceInfo& info);
    // Also remembers the media and PTZ addresses for the calls below.
    Result GetCapabilities(Capabilities& capabilities);
    Result GetProfiles(std::vector<Profile>& profiles);
    // RTP unicast over RTSP.
    Result GetStreamUri(const std::string& profileToken, std::string& uri);
    Result GetSnapshotUri(const std::string& profileToken, std::string& uri);

    // Speeds in [-1, 1]; the camera moves until Stop.
    Result ContinuousMove(const std::string& profileToken, double pan, double tilt, double zoom);
    Result Stop(const std::string& profileToken);
    // presetToken: in, the preset to overwrite (empty for a new one); out, the camera's token.
    Result SetPreset(const std::string& profileToken, const std::string& name,
                     std::string& presetToken);
    Result RemovePreset(const std::string& profileToken, const std::string& presetToken);
    Result GotoPreset(const std::string& profileToken, const std::string& presetToken);

    // Focus through the imaging service: a continuous move at `speed` in [-1, 1] (positive
    // towards far) until FocusStop.
    Result FocusMove(const std::string& videoSource, double speed);
    Result FocusStop(const std::string& videoSource);
    // Iris through the imaging service: reads the iris setting and sets it `step` further
    // (positive opens), in manual exposure.
    Result IrisStep(const std::string& videoSource, double step);
    // True once GetCapabilities named an imaging service.
    bool HasImaging() const { return haveCapabilities_ && !capabilities_.imaging.empty(); }

    // Fetches the picture at a snapshot address with our credentials (HTTP basic or digest,
    // whichever the camera asks for); a picture that is no JPEG is a bad reply.
    Result FetchSnapshot(const std::string& uri, std::string& jpeg);

    void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    // While *flag is true every call ends at once with Cancelled (null: calls run to their
    // end). The flag must outlive the calls.
    void SetCancelFlag(const std::atomic<bool>* flag) { cancel_ = flag; }
    const std::string& LastError() const { return lastError_; }

    // Replies larger than this are refused: a camera has nothing that long to say.
    static constexpr size_t kMaxReplyBytes = 1 << 20;
    // A snapshot may be a large picture; larger than this is refused.
    static constexpr size_t kMaxSnapshotBytes = 16 << 20;

private:
    enum class Service { Device, Media, Ptz, Imaging };

    Result Call(Service service, const char* action, const std::string& body, std::string& reply);
    Result ServiceUrl(Service service, std::string& url);
    // POSTs the envelope with `action`, or GETs the url when action is null.
    Result Transfer(const std::string& url, const char* action, const std::string& envelope,
                    std::string& reply, long& status, size_t limit);
    std::string SecurityHeader() const;
    Result Fail(Result result, const std::string& why);

    const std::string deviceUrl_;
    const std::string user_;
    const std::string password_;
    std::chrono::milliseconds timeout_{5000};
    std::chrono::seconds clockOffset_{0};
    const std::atomic<bool>* cancel_ = nullptr;
    bool haveCapabilities_ = false;
    Capabilities capabilities_;
    std::string lastError_;
};

// Where cameras take discovery probes, and how long their answers are waited for.
constexpr int kDiscoveryPort = 3702;
constexpr std::chrono::milliseconds kDiscoveryWait{3000};

// Sends one discovery probe to address:port (a single camera, or a multicast group when the
// caller asks for one) and collects the answers that come within `wait`. An answer that is
// no probe match of ours is skipped. Fails only when the probe cannot be sent.
Result Discover(const std::string& address, int port, std::chrono::milliseconds wait,
                std::vector<DiscoveredDevice>& devices, std::string& error);
// The same probe sent to every address at once, the answers of all collected within one
// `wait`; a camera answering more than one of them is listed once. An address that cannot
// be probed is named in `error` while the others are still asked; fails only when no probe
// could be sent. While *cancel is true (null: never) the wait ends at once with Cancelled
// and what came so far.
Result Discover(const std::vector<std::string>& addresses, int port,
                std::chrono::milliseconds wait, std::vector<DiscoveredDevice>& devices,
                std::string& error, const std::atomic<bool>* cancel = nullptr);

}  // namespace camlink::onvif
