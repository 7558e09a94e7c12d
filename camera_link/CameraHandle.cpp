#include "camera_link/CameraHandle.h"

#include "common/TraceMessage.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace camlink {

namespace {

// Keeps a session in the handle's list of opens in progress for the length of a scope.
class OpeningScope {
public:
    OpeningScope(std::mutex& lock, std::vector<std::shared_ptr<StreamSession>>& list,
                 std::shared_ptr<StreamSession> session)
        : lock_(lock), list_(list), session_(std::move(session))
    {
        std::lock_guard<std::mutex> guard(lock_);
        list_.push_back(session_);
    }
    ~OpeningScope()
    {
        std::lock_guard<std::mutex> guard(lock_);
        list_.erase(std::remove(list_.begin(), list_.end(), session_), list_.end());
    }

private:
    std::mutex& lock_;
    std::vector<std::shared_ptr<StreamSession>>& list_;
    std::shared_ptr<StreamSession> session_;
};

// Pan, tilt and zoom speed of the pad's buttons, and the iris step of one press.
constexpr double kMoveSpeed = 0.5;
constexpr double kFocusSpeed = 0.5;
constexpr double kIrisStep = 1.0;
constexpr int kLargestPresetNumber = 255;
// Camera commands waiting for their turn, at most (releases always get in).
constexpr size_t kMostQueuedCommands = 32;

int CodeOf(onvif::Result result)
{
    switch (result) {
    case onvif::Result::Ok: return CML_OK;
    case onvif::Result::WrongCredentials: return CML_ERR_USER;
    case onvif::Result::NoMediaService: return CML_ERR_NO_MEDIA;
    case onvif::Result::NoPtzService:
    case onvif::Result::NoImagingService: return CML_ERR_NOT_SERVED;
    case onvif::Result::Unreachable: return CML_ERR_TIMEOUT;
    case onvif::Result::Cancelled: return CML_ERR_CANCELLED;
    case onvif::Result::BadReply:
    case onvif::Result::TooLarge:
    case onvif::Result::Fault: break;
    }
    return CML_ERR_PROTOCOL;
}

std::string DeviceServiceUrl(const std::string& host, int port)
{
    const bool literal6 = host.find(':') != std::string::npos;
    return "http://" + (literal6 ? "[" + host + "]" : host) + ":" + std::to_string(port) +
           "/onvif/device_service";
}

}  // namespace

CameraHandle::CameraHandle(CameraAddress address, int transport, int onvifPort)
    : address_(std::move(address)), transport_(transport), onvifPort_(onvifPort)
{
}

int CameraHandle::OpenServices()
{
    if (onvif_)
        return CML_OK;
    auto client = std::make_unique<onvif::Client>(DeviceServiceUrl(address_.host, onvifPort_),
                                                  address_.user, address_.password);
    client->SetCancelFlag(&cancelled_);
    const std::string where = DeviceServiceUrl(address_.host, onvifPort_);
    onvif::Result result = client->SyncClock();
    if (result == onvif::Result::Unreachable || result == onvif::Result::Cancelled) {
        TraceMessage("[CAMLINK] - %s: %s", where.c_str(), client->LastError().c_str());
        return CodeOf(result);
    }
    if (result != onvif::Result::Ok)  // our own clock then has to do
        TraceMessage("[CAMLINK] - %s: no camera clock: %s", where.c_str(),
                     client->LastError().c_str());
    onvif::Capabilities capabilities;
    result = client->GetCapabilities(capabilities);
    std::vector<onvif::Profile> profiles;
    if (result == onvif::Result::Ok)
        result = capabilities.media.empty() ? onvif::Result::NoMediaService
                                            : client->GetProfiles(profiles);
    if (result != onvif::Result::Ok) {
        TraceMessage("[CAMLINK] - %s: %s", where.c_str(),
                     result == onvif::Result::NoMediaService && client->LastError().empty()
                         ? "the camera has no media service"
                         : client->LastError().c_str());
        return CodeOf(result);
    }
    std::vector<ProfileSummary> summaries;
    for (const onvif::Profile& profile : profiles)
        summaries.push_back({profile.name, profile.encoding, profile.width, profile.height});
    TraceMessage("[CAMLINK] - %s: clock offset %lld s, %zu profiles, PTZ %s, imaging %s",
                 where.c_str(), static_cast<long long>(client->ClockOffset().count()),
                 profiles.size(), capabilities.ptz.empty() ? "no" : "yes",
                 capabilities.imaging.empty() ? "no" : "yes");
    onvif_ = std::move(client);
    profiles_ = std::move(profiles);
    std::lock_guard<std::mutex> lock(stateLock_);
    servicesKnown_ = true;
    hasPtz_ = !capabilities.ptz.empty();
    hasImaging_ = !capabilities.imaging.empty();
    summaries_ = std::move(summaries);
    return CML_OK;
}

int CameraHandle::StreamAddress(int stream, CameraAddress& address)
{
    if (!ServicesNameTheStream()) {
        address = address_;
        return CML_OK;
    }
    std::lock_guard<std::mutex> lock(onvifLock_);
    int result = OpenServices();
    if (result != CML_OK)
        return result;
    onvif_->SetCancelFlag(&cancelled_);
    auto known = streamAddress_.find(stream);
    if (known != streamAddress_.end()) {
        address = known->second;
        return CML_OK;
    }
    if (stream < 0 || static_cast<size_t>(stream) >= profiles_.size()) {
        TraceMessage("[CAMLINK] - %s: no profile %d (the camera has %zu)",
                     address_.host.c_str(), stream, profiles_.size());
        return CML_ERR_NOT_FOUND;
    }
    std::string uri;
    onvif::Result asked = onvif_->GetStreamUri(profiles_[stream].token, uri);
    if (asked != onvif::Result::Ok) {
        TraceMessage("[CAMLINK] - %s", onvif_->LastError().c_str());
        return CodeOf(asked);
    }
    CameraAddress named;
    if (!SplitRtspUrl(uri, named)) {
        TraceMessage("[CAMLINK] - %s: profile %d names no RTSP address", address_.host.c_str(),
                     stream);
        return CML_ERR_PROTOCOL;
    }
    if (named.user.empty()) {
        named.user = address_.user;
        named.password = address_.password;
    }
    TraceMessage("[CAMLINK] - profile %d \"%s\" of %s streams at %s", stream,
                 profiles_[stream].name.c_str(), address_.host.c_str(),
                 RedactedUrl(named).c_str());
    streamAddress_[stream] = named;
    address = named;
    return CML_OK;
}

bool CameraHandle::ProfileOf(int stream, std::string& token, std::string& videoSource) const
{
    if (stream < 0 || static_cast<size_t>(stream) >= profiles_.size())
        return false;
    token = profiles_[stream].token;
    videoSource = profiles_[stream].videoSource;
    return true;
}

int CameraHandle::Profiles(std::vector<ProfileSummary>& profiles) const
{
    std::lock_guard<std::mutex> lock(stateLock_);
    if (!servicesKnown_)
        return CML_ERR_HANDLE;
    profiles = summaries_;
    return CML_OK;
}

int CameraHandle::Login(int stream)
{
    std::lock_guard<std::mutex> operation(operationLock_);
    cancelled_ = false;
    if (ServicesNameTheStream()) {
        CameraAddress address;
        return StreamAddress(stream, address);
    }
    int result = CML_OK;
    {
        auto probe = std::make_shared<StreamSession>(address_, transport_, stream);
        OpeningScope scope(sessionLock_, opening_, probe);
        result = probe->Open(true);  // the probe's session closes with it
    }
    if (result == CML_OK && UsesServices()) {
        // The slot's path names the stream; the services add PTZ, snapshots and the profile
        // names where the camera has them, and a camera without them still shows its stream.
        std::lock_guard<std::mutex> lock(onvifLock_);
        if (OpenServices() != CML_OK)
            TraceMessage("[CAMLINK] - %s: no camera services at port %d; the stream of the "
                         "address only", address_.host.c_str(), onvifPort_);
    }
    return result;
}

int CameraHandle::StartPreview(int stream)
{
    int session = 0;
    return StartSession(stream, session);
}

int CameraHandle::StartSession(int stream, int& number)
{
    number = 0;
    CameraAddress address;
    {
        // The address is asked for in turn; the opens themselves (a description and the
        // first pictures, seconds on a slow camera) run side by side, so the windows of one
        // camera need not wait for each other.
        std::lock_guard<std::mutex> operation(operationLock_);
        cancelled_ = false;
        const int named = StreamAddress(stream, address);
        if (named != CML_OK)
            return named;
    }
    auto session = std::make_shared<StreamSession>(address, transport_, stream);
    int result = CML_OK;
    {
        OpeningScope scope(sessionLock_, opening_, session);
        result = session->Open();
    }
    if (result != CML_OK)
        return result;
    std::lock_guard<std::mutex> lock(sessionLock_);
    // A handle closed while the stream opened keeps no session running.
    if (closing_)
        return CML_ERR_CANCELLED;
    session->Start();
    sessions_[stream].push_back(session);
    number = nextSession_++;
    sessionsById_[number] = session;
    return CML_OK;
}

// Drops `session` from the stream's list and the numbered ones; sessionLock_ held.
static void Forget(std::map<int, std::deque<std::shared_ptr<StreamSession>>>& sessions,
                   std::map<int, std::shared_ptr<StreamSession>>& byId,
                   const std::shared_ptr<StreamSession>& session)
{
    auto it = sessions.find(session->stream());
    if (it != sessions.end()) {
        auto& list = it->second;
        list.erase(std::remove(list.begin(), list.end(), session), list.end());
        if (list.empty())
            sessions.erase(it);
    }
    for (auto named = byId.begin(); named != byId.end(); ++named) {
        if (named->second == session) {
            byId.erase(named);
            break;
        }
    }
}

int CameraHandle::StopPreview(int stream)
{
    std::shared_ptr<StreamSession> session;
    {
        std::lock_guard<std::mutex> lock(sessionLock_);
        auto it = sessions_.find(stream);
        if (it == sessions_.end() || it->second.empty())
            return CML_ERR_HANDLE;
        session = it->second.front();
        Forget(sessions_, sessionsById_, session);
    }
    session->Stop();
    return CML_OK;
}

int CameraHandle::StopSession(int number)
{
    std::shared_ptr<StreamSession> session;
    {
        std::lock_guard<std::mutex> lock(sessionLock_);
        auto it = sessionsById_.find(number);
        if (it == sessionsById_.end())
            return CML_ERR_HANDLE;
        session = it->second;
        Forget(sessions_, sessionsById_, session);
    }
    session->Stop();
    return CML_OK;
}

std::shared_ptr<StreamSession> CameraHandle::FindSessionById(int number) const
{
    std::lock_guard<std::mutex> lock(sessionLock_);
    auto it = sessionsById_.find(number);
    return it == sessionsById_.end() ? nullptr : it->second;
}

std::shared_ptr<StreamSession> CameraHandle::FindSession(int stream) const
{
    std::lock_guard<std::mutex> lock(sessionLock_);
    auto it = sessions_.find(stream);
    return it == sessions_.end() || it->second.empty() ? nullptr : it->second.back();
}

void CameraHandle::Cancel()
{
    cancelled_ = true;
    std::lock_guard<std::mutex> lock(sessionLock_);
    for (auto& session : opening_)
        session->Cancel();
}

void CameraHandle::Close()
{
    closing_ = true;
    Cancel();
    std::thread commandThread;
    {
        std::lock_guard<std::mutex> lock(commandLock_);
        commandStop_ = true;
        commands_.clear();
        commandThread.swap(commandThread_);
    }
    commandReady_.notify_all();
    if (commandThread.joinable())
        commandThread.join();
    std::map<int, std::deque<std::shared_ptr<StreamSession>>> sessions;
    {
        std::lock_guard<std::mutex> lock(sessionLock_);
        sessions.swap(sessions_);
        sessionsById_.clear();
    }
    for (auto& [stream, list] : sessions)
        for (auto& session : list)
            session->Stop();
}

int CameraHandle::Enqueue(std::function<void()> command, bool mayRefuse)
{
    std::lock_guard<std::mutex> lock(commandLock_);
    if (commandStop_)
        return CML_ERR_HANDLE;
    // A camera that answers slowly or not at all must not collect an endless backlog of
    // presses; a release is always taken, so no move goes unstopped.
    if (mayRefuse && commands_.size() >= kMostQueuedCommands)
        return CML_ERR_REFUSED;
    commands_.push_back(std::move(command));
    if (!commandThread_.joinable())
        commandThread_ = std::thread([this] { RunCommands(); });
    commandReady_.notify_one();
    return CML_OK;
}

void CameraHandle::RunCommands()
{
    for (;;) {
        std::function<void()> command;
        {
            std::unique_lock<std::mutex> lock(commandLock_);
            commandReady_.wait(lock, [this] { return commandStop_ || !commands_.empty(); });
            if (commandStop_)
                return;
            command = std::move(commands_.front());
            commands_.pop_front();
        }
        command();
    }
}

int CameraHandle::Ptz(int stream, int command, int start)
{
    if (command < CML_PTZ_UP || command > CML_PTZ_IRIS_CLOSE || (start != 0 && start != 1))
        return CML_ERR_PARAMETER;
    const bool imaging = command >= CML_PTZ_FOCUS_NEAR;
    {
        std::lock_guard<std::mutex> lock(stateLock_);
        if (!UsesServices() || !servicesKnown_)
            return CML_ERR_HANDLE;
        if (imaging ? !hasImaging_ : !hasPtz_)
            return CML_ERR_NOT_SERVED;
    }
    const bool iris = command == CML_PTZ_IRIS_OPEN || command == CML_PTZ_IRIS_CLOSE;
    if (iris && start == 0)
        return CML_OK;  // the iris steps once per press; its release has nothing to stop
    return Enqueue([this, stream, command, start, imaging] {
        std::lock_guard<std::mutex> lock(onvifLock_);
        std::string token, source;
        if (!onvif_ || !ProfileOf(stream, token, source)) {
            TraceMessage("[CAMLINK] - PTZ %d: the camera has no profile %d", command, stream);
            return;
        }
        onvif_->SetCancelFlag(&closing_);
        onvif::Result result = onvif::Result::Ok;
        if (imaging && source.empty()) {
            TraceMessage("[CAMLINK] - PTZ %d: profile %d names no video source", command, stream);
            return;
        }
        switch (command) {
        case CML_PTZ_FOCUS_NEAR:
        case CML_PTZ_FOCUS_FAR:
            result = start ? onvif_->FocusMove(source, command == CML_PTZ_FOCUS_FAR ? kFocusSpeed
                                                                                    : -kFocusSpeed)
                           : onvif_->FocusStop(source);
            break;
        case CML_PTZ_IRIS_OPEN:
        case CML_PTZ_IRIS_CLOSE:
            result = onvif_->IrisStep(source, command == CML_PTZ_IRIS_OPEN ? kIrisStep : -kIrisStep);
            break;
        default:
            if (start == 0) {
                result = onvif_->Stop(token);
                break;
            }
            double pan = 0.0, tilt = 0.0, zoom = 0.0;
            switch (command) {
            case CML_PTZ_UP: tilt = kMoveSpeed; break;
            case CML_PTZ_DOWN: tilt = -kMoveSpeed; break;
            case CML_PTZ_LEFT: pan = -kMoveSpeed; break;
            case CML_PTZ_RIGHT: pan = kMoveSpeed; break;
            case CML_PTZ_ZOOM_IN: zoom = kMoveSpeed; break;
            default: zoom = -kMoveSpeed; break;
            }
            result = onvif_->ContinuousMove(token, pan, tilt, zoom);
            break;
        }
        if (result != onvif::Result::Ok)
            TraceMessage("[CAMLINK] - PTZ %d start %d not taken: %s", command, start,
                         onvif_->LastError().c_str());
    }, start == 1);
}

int CameraHandle::Preset(int stream, int action, int number)
{
    if (action < CML_PRESET_SET || action > CML_PRESET_GOTO || number < 1 ||
        number > kLargestPresetNumber)
        return CML_ERR_PARAMETER;
    {
        std::lock_guard<std::mutex> lock(stateLock_);
        if (!UsesServices() || !servicesKnown_)
            return CML_ERR_HANDLE;
        if (!hasPtz_)
            return CML_ERR_NOT_SERVED;
        // A set still queued counts: its token is known by the time this command runs.
        if (action == CML_PRESET_SET)
            ++pendingPresets_[number];
        else if (presetTokens_.count(number) == 0 && pendingPresets_.count(number) == 0)
            return CML_ERR_NOT_FOUND;
    }
    const int queued = Enqueue([this, stream, action, number] {
        std::lock_guard<std::mutex> lock(onvifLock_);
        std::string token;
        bool taken = false;
        // A set stops counting as pending only together with its outcome, so a go queued
        // behind it never finds the number neither pending nor known.
        auto settle = [&] {
            std::lock_guard<std::mutex> state(stateLock_);
            if (action == CML_PRESET_SET && --pendingPresets_[number] <= 0)
                pendingPresets_.erase(number);
            if (taken && action == CML_PRESET_SET)
                presetTokens_[number] = token;
            else if (taken && action == CML_PRESET_CLEAR)
                presetTokens_.erase(number);
        };
        {
            std::lock_guard<std::mutex> state(stateLock_);
            auto known = presetTokens_.find(number);
            if (known != presetTokens_.end())
                token = known->second;
        }
        std::string profile, source;
        if (!onvif_ || !ProfileOf(stream, profile, source)) {
            TraceMessage("[CAMLINK] - preset %d: the camera has no profile %d", number, stream);
            settle();
            return;
        }
        if (action != CML_PRESET_SET && token.empty()) {
            TraceMessage("[CAMLINK] - preset %d was never set: nothing sent", number);
            settle();
            return;
        }
        onvif_->SetCancelFlag(&closing_);
        onvif::Result result = onvif::Result::Ok;
        if (action == CML_PRESET_SET) {
            // Setting a number again overwrites the camera's preset rather than adding one.
            result = onvif_->SetPreset(profile, "Preset " + std::to_string(number), token);
        } else if (action == CML_PRESET_GOTO) {
            result = onvif_->GotoPreset(profile, token);
        } else {
            result = onvif_->RemovePreset(profile, token);
        }
        taken = result == onvif::Result::Ok;
        if (!taken)
            TraceMessage("[CAMLINK] - preset %d action %d not taken: %s", number, action,
                         onvif_->LastError().c_str());
        settle();
    }, true);
    if (queued != CML_OK && action == CML_PRESET_SET) {
        std::lock_guard<std::mutex> lock(stateLock_);
        if (--pendingPresets_[number] <= 0)
            pendingPresets_.erase(number);
    }
    return queued;
}

int CameraHandle::Snapshot(int stream, const std::string& path)
{
    if (path.empty())
        return CML_ERR_PARAMETER;
    {
        std::lock_guard<std::mutex> lock(stateLock_);
        if (!UsesServices() || !servicesKnown_)
            return CML_ERR_HANDLE;
    }
    std::string jpeg;
    {
        std::lock_guard<std::mutex> lock(onvifLock_);
        std::string profile, source;
        if (!onvif_ || !ProfileOf(stream, profile, source))
            return CML_ERR_NOT_FOUND;
        onvif_->SetCancelFlag(&closing_);
        auto known = snapshotUri_.find(stream);
        if (known == snapshotUri_.end()) {
            std::string uri;
            onvif::Result asked = onvif_->GetSnapshotUri(profile, uri);
            if (asked == onvif::Result::Fault || asked == onvif::Result::BadReply) {
                // Cameras without snapshots answer the question with a fault.
                TraceMessage("[CAMLINK] - %s", onvif_->LastError().c_str());
                snapshotUri_[stream] = std::string();
                return CML_ERR_NOT_SERVED;
            }
            if (asked != onvif::Result::Ok) {
                TraceMessage("[CAMLINK] - %s", onvif_->LastError().c_str());
                return CodeOf(asked);
            }
            known = snapshotUri_.emplace(stream, uri).first;
        }
        if (known->second.empty())
            return CML_ERR_NOT_SERVED;
        onvif::Result fetched = onvif_->FetchSnapshot(known->second, jpeg);
        if (fetched != onvif::Result::Ok) {
            TraceMessage("[CAMLINK] - snapshot: %s", onvif_->LastError().c_str());
            return CodeOf(fetched);
        }
    }
    // Written beside its place and renamed, so that no reader ever sees half a picture.
    const std::string partial = path + ".part";
    FILE* file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) {
        TraceMessage("[CAMLINK] - snapshot: cannot write %s", partial.c_str());
        return CML_ERR_PARAMETER;
    }
    const bool written = std::fwrite(jpeg.data(), 1, jpeg.size(), file) == jpeg.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(partial.c_str(), path.c_str()) != 0) {
        TraceMessage("[CAMLINK] - snapshot: cannot write %s", path.c_str());
        unlink(partial.c_str());
        return CML_ERR_PARAMETER;
    }
    return CML_OK;
}

}  // namespace camlink
