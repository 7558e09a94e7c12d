// The exported functions: argument checks, the handle table, and no exception crossing
// the C boundary.
#include "camera_link/Camlink.h"

#include "camera_link/CameraDiscovery.h"
#include "camera_link/CameraHandle.h"
#include "camera_link/CameraUrl.h"
#include "common/TraceMessage.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

static_assert(sizeof(CML_MEDIA_INFO) == 16, "media information is 16 bytes");

namespace {

constexpr int kStreams = 32;  // stream (profile) indexes a camera may offer

// The library's handles by number; handles are never reused within a process.
struct Library {
    std::mutex lock;
    bool loaded = false;                                             // Guarded by lock
    int nextHandle = 1;                                              // Guarded by lock
    std::map<int, std::shared_ptr<camlink::CameraHandle>> handles;   // Guarded by lock
};

Library& TheLibrary()
{
    static Library library;
    return library;
}

bool Loaded()
{
    Library& library = TheLibrary();
    std::lock_guard<std::mutex> lock(library.lock);
    return library.loaded;
}

std::shared_ptr<camlink::CameraHandle> FindHandle(int handle)
{
    Library& library = TheLibrary();
    std::lock_guard<std::mutex> lock(library.lock);
    auto it = library.handles.find(handle);
    return it == library.handles.end() ? nullptr : it->second;
}

bool ValidStream(int stream)
{
    return stream >= 0 && stream < kStreams;
}

std::string FixedText(const char* field, size_t width)
{
    return std::string(field, strnlen(field, width));
}

template <typename Body>
int Guarded(const char* name, Body body)
{
    try {
        return body();
    } catch (const std::exception& error) {
        TraceMessage("[CAMLINK] - %s: %s", name, error.what());
    } catch (...) {
        TraceMessage("[CAMLINK] - %s: unexpected failure", name);
    }
    return CML_ERR_PROTOCOL;
}

template <typename Setter>
int RegisterCallback(int handle, int stream, Setter setter)
{
    if (!ValidStream(stream))
        return CML_ERR_PARAMETER;
    auto target = FindHandle(handle);
    if (!target)
        return CML_ERR_HANDLE;
    auto session = target->FindSession(stream);
    if (!session)
        return CML_ERR_HANDLE;
    setter(*session);
    return CML_OK;
}

void CopyText(char* field, size_t width, const std::string& text)
{
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), std::min(text.size(), width - 1));
}

}  // namespace

extern "C" {

CML_API int CMLLoadLibrary(void)
{
    Library& library = TheLibrary();
    std::lock_guard<std::mutex> lock(library.lock);
    library.loaded = true;
    return 1;
}

CML_API int CMLFreeLibrary(void)
{
    return Guarded("CMLFreeLibrary", [] {
        std::map<int, std::shared_ptr<camlink::CameraHandle>> handles;
        {
            Library& library = TheLibrary();
            std::lock_guard<std::mutex> lock(library.lock);
            handles.swap(library.handles);
            library.loaded = false;
        }
        for (auto& [number, handle] : handles)
            handle->Close();
        return CML_OK;
    });
}

CML_API int CMLCreateHandle(int* handle, const CML_CONNECT_INFO* connectInfo, int)
{
    return Guarded("CMLCreateHandle", [&] {
        if (!handle || !connectInfo)
            return CML_ERR_PARAMETER;
        *handle = 0;
        const std::string host = FixedText(connectInfo->szHost, sizeof connectInfo->szHost);
        if (host.empty() || (connectInfo->nTransport != CML_TRANSPORT_TCP &&
                             connectInfo->nTransport != CML_TRANSPORT_UDP))
            return CML_ERR_PARAMETER;
        camlink::CameraAddress address = camlink::AddressFromSlot(
            host, connectInfo->wPort == 0 ? 554 : connectInfo->wPort,
            FixedText(connectInfo->szUser, sizeof connectInfo->szUser),
            FixedText(connectInfo->szPassword, sizeof connectInfo->szPassword));
        if (address.host.empty())
            return CML_ERR_PARAMETER;
        auto created = std::make_shared<camlink::CameraHandle>(address, connectInfo->nTransport,
                                                               connectInfo->wOnvifPort);
        Library& library = TheLibrary();
        std::lock_guard<std::mutex> lock(library.lock);
        if (!library.loaded)
            return CML_ERR_NOT_LOADED;
        *handle = library.nextHandle++;
        library.handles[*handle] = created;
        return CML_OK;
    });
}

CML_API int CMLLogin(int handle, int stream)
{
    return Guarded("CMLLogin", [&] {
        if (!Loaded())
            return CML_ERR_NOT_LOADED;
        if (!ValidStream(stream))
            return CML_ERR_PARAMETER;
        auto target = FindHandle(handle);
        return target ? target->Login(stream) : CML_ERR_HANDLE;
    });
}

CML_API int CMLCancel(int handle)
{
    return Guarded("CMLCancel", [&] {
        auto target = FindHandle(handle);
        if (!target)
            return CML_ERR_HANDLE;
        target->Cancel();
        return CML_OK;
    });
}

CML_API int CMLDestroyHandle(int handle)
{
    return Guarded("CMLDestroyHandle", [&] {
        std::shared_ptr<camlink::CameraHandle> target;
        {
            Library& library = TheLibrary();
            std::lock_guard<std::mutex> lock(library.lock);
            auto it = library.handles.find(handle);
            if (it == library.handles.end())
                return CML_ERR_HANDLE;
            target = it->second;
            library.handles.erase(it);
        }
        target->Close();
        return CML_OK;
    });
}

CML_API int CMLStartPreview(int handle, int stream, int, int)
{
    return Guarded("CMLStartPreview", [&] {
        if (!Loaded())
            return CML_ERR_NOT_LOADED;
        if (!ValidStream(stream))
            return CML_ERR_PARAMETER;
        auto target = FindHandle(handle);
        return target ? target->StartPreview(stream) : CML_ERR_HANDLE;
    });
}

CML_API int CMLStopPreview(int handle, int stream)
{
    return Guarded("CMLStopPreview", [&] {
        if (!ValidStream(stream))
            return CML_ERR_PARAMETER;
        auto target = FindHandle(handle);
        return target ? target->StopPreview(stream) : CML_ERR_HANDLE;
    });
}

CML_API int CMLGetMediaInfo(int handle, int stream, CML_MEDIA_INFO* mediaInfo)
{
    return Guarded("CMLGetMediaInfo", [&] {
        if (!mediaInfo)
            return CML_ERR_PARAMETER;
        return RegisterCallback(handle, stream, [&](camlink::StreamSession& session) {
            *mediaInfo = session.MediaInfo();
        });
    });
}

CML_API int CMLRegConnectStatusCallBack(int handle, int stream, CML_CONNECT_STATUS_CB callback,
                                        void* context)
{
    return Guarded("CMLRegConnectStatusCallBack", [&] {
        return RegisterCallback(handle, stream, [&](camlink::StreamSession& session) {
            session.SetStatusCallback(callback, context);
        });
    });
}

CML_API int CMLRegVideoPreCallBack(int handle, int stream, CML_VIDEO_CB callback, void* context)
{
    return Guarded("CMLRegVideoPreCallBack", [&] {
        return RegisterCallback(handle, stream, [&](camlink::StreamSession& session) {
            session.SetVideoCallback(callback, context);
        });
    });
}

CML_API int CMLRegAudioPreCallBack(int handle, int stream, CML_AUDIO_CB callback, void* context)
{
    return Guarded("CMLRegAudioPreCallBack", [&] {
        return RegisterCallback(handle, stream, [&](camlink::StreamSession& session) {
            session.SetAudioCallback(callback, context);
        });
    });
}

CML_API int CMLSplitUrl(const char* url, CML_CONNECT_INFO* connectInfo)
{
    return Guarded("CMLSplitUrl", [&] {
        if (!url || !connectInfo)
            return CML_ERR_PARAMETER;
        camlink::CameraAddress address;
        if (!camlink::SplitRtspUrl(url, address))
            return CML_ERR_PARAMETER;
        std::string hostAndPath = address.host.find(':') != std::string::npos
                                      ? "[" + address.host + "]"
                                      : address.host;
        if (!address.path.empty())
            hostAndPath += "/" + address.path;
        if (hostAndPath.size() >= sizeof connectInfo->szHost ||
            address.user.size() >= sizeof connectInfo->szUser ||
            address.password.size() >= sizeof connectInfo->szPassword)
            return CML_ERR_PARAMETER;
        CopyText(connectInfo->szHost, sizeof connectInfo->szHost, hostAndPath);
        CopyText(connectInfo->szUser, sizeof connectInfo->szUser, address.user);
        CopyText(connectInfo->szPassword, sizeof connectInfo->szPassword, address.password);
        connectInfo->wPort = static_cast<unsigned short>(address.port);
        return CML_OK;
    });
}

CML_API int CMLGetProfileCount(int handle, int* count)
{
    return Guarded("CMLGetProfileCount", [&] {
        if (!count)
            return CML_ERR_PARAMETER;
        *count = 0;
        auto target = FindHandle(handle);
        if (!target)
            return CML_ERR_HANDLE;
        std::vector<camlink::ProfileSummary> profiles;
        const int result = target->Profiles(profiles);
        if (result == CML_OK)
            *count = static_cast<int>(profiles.size());
        return result;
    });
}

CML_API int CMLGetProfileInfo(int handle, int profile, CML_PROFILE_INFO* info)
{
    return Guarded("CMLGetProfileInfo", [&] {
        if (!info)
            return CML_ERR_PARAMETER;
        auto target = FindHandle(handle);
        if (!target)
            return CML_ERR_HANDLE;
        std::vector<camlink::ProfileSummary> profiles;
        const int result = target->Profiles(profiles);
        if (result != CML_OK)
            return result;
        if (profile < 0 || static_cast<size_t>(profile) >= profiles.size())
            return CML_ERR_NOT_FOUND;
        const camlink::ProfileSummary& summary = profiles[static_cast<size_t>(profile)];
        CopyText(info->szName, sizeof info->szName, summary.name);
        CopyText(info->szCodec, sizeof info->szCodec, summary.codec);
        info->nWidth = summary.width;
        info->nHeight = summary.height;
        return CML_OK;
    });
}

CML_API int CMLPtzControl(int handle, int stream, int command, int start)
{
    return Guarded("CMLPtzControl", [&] {
        if (!ValidStream(stream))
            return CML_ERR_PARAMETER;
        auto target = FindHandle(handle);
        return target ? target->Ptz(stream, command, start) : CML_ERR_HANDLE;
    });
}

CML_API int CMLPtzPreset(int handle, int stream, int action, int number)
{
    return Guarded("CMLPtzPreset", [&] {
        if (!ValidStream(stream))
            return CML_ERR_PARAMETER;
        auto target = FindHandle(handle);
        return target ? target->Preset(stream, action, number) : CML_ERR_HANDLE;
    });
}

CML_API int CMLGetSnapshot(int handle, int stream, const char* path)
{
    return Guarded("CMLGetSnapshot", [&] {
        if (!path || !ValidStream(stream))
            return CML_ERR_PARAMETER;
        auto target = FindHandle(handle);
        return target ? target->Snapshot(stream, path) : CML_ERR_HANDLE;
    });
}

// Discovery runs cancel through these flags: each running CMLDiscover registers its own.
struct DiscoveryRuns {
    std::mutex lock;
    std::set<std::atomic<bool>*> flags;  // Guarded by lock
};

static DiscoveryRuns& TheDiscoveryRuns()
{
    static DiscoveryRuns runs;
    return runs;
}

// A name cut to the field without splitting a UTF-8 character.
static void CopyUtf8(char* field, size_t width, const std::string& text)
{
    size_t length = std::min(text.size(), width - 1);
    while (length > 0 && length < text.size() &&
           (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    CopyText(field, width, text.substr(0, length));
}

CML_API int CMLDiscover(const char* targets, int port, int waitMs, CML_DISCOVERED* found,
                        int max, int* count)
{
    return Guarded("CMLDiscover", [&] {
        if (count)
            *count = 0;
        if (!found || !count || max <= 0 || port < 0 || port > 65535 || waitMs < 1 ||
            waitMs > 60000)
            return CML_ERR_PARAMETER;
        std::vector<std::string> addresses;
        std::string bad;
        if (!camlink::SplitDiscoveryTargets(targets ? targets : "", addresses, bad)) {
            TraceMessage("[CAMLINK] - CMLDiscover: \"%s\" is no address", bad.c_str());
            return CML_ERR_PARAMETER;
        }
        if (addresses.empty())
            addresses.push_back(CML_DISCOVERY_GROUP);
        // Registered for CMLCancelDiscover while the probe runs.
        struct Registration {
            std::atomic<bool> cancel{false};
            Registration()
            {
                std::lock_guard<std::mutex> lock(TheDiscoveryRuns().lock);
                TheDiscoveryRuns().flags.insert(&cancel);
            }
            ~Registration()
            {
                std::lock_guard<std::mutex> lock(TheDiscoveryRuns().lock);
                TheDiscoveryRuns().flags.erase(&cancel);
            }
        } registration;
        std::vector<camlink::FoundCamera> cameras;
        const int result = camlink::DiscoverCameras(
            addresses, port == 0 ? camlink::onvif::kDiscoveryPort : port,
            std::chrono::milliseconds(waitMs), &registration.cancel, cameras);
        if (result != CML_OK)
            return result;
        if (cameras.size() > static_cast<size_t>(max))
            TraceMessage("[CAMLINK] - CMLDiscover: %zu cameras answered, %d listed",
                         cameras.size(), max);
        int written = 0;
        for (const camlink::FoundCamera& camera : cameras) {
            if (written == max)
                break;
            if (camera.host.size() >= sizeof found->szAddress) {
                TraceMessage("[CAMLINK] - CMLDiscover: a camera's address is too long: %.64s...",
                             camera.host.c_str());
                continue;  // a cut address would be another camera's
            }
            CML_DISCOVERED& entry = found[written++];
            std::memset(&entry, 0, sizeof entry);
            CopyText(entry.szAddress, sizeof entry.szAddress, camera.host);
            entry.wOnvifPort = static_cast<unsigned short>(camera.port);
            CopyUtf8(entry.szModel, sizeof entry.szModel, camera.model);
            CopyUtf8(entry.szName, sizeof entry.szName, camera.name);
            CopyText(entry.szServiceUrl, sizeof entry.szServiceUrl, camera.serviceUrl);
        }
        *count = written;
        return CML_OK;
    });
}

CML_API int CMLCancelDiscover(void)
{
    return Guarded("CMLCancelDiscover", [] {
        DiscoveryRuns& runs = TheDiscoveryRuns();
        std::lock_guard<std::mutex> lock(runs.lock);
        for (std::atomic<bool>* flag : runs.flags)
            flag->store(true);
        return CML_OK;
    });
}

CML_API int CMLStartPreviewSession(int handle, int stream, int* session)
{
    return Guarded("CMLStartPreviewSession", [&] {
        if (!session)
            return CML_ERR_PARAMETER;
        *session = 0;
        if (!Loaded())
            return CML_ERR_NOT_LOADED;
        if (!ValidStream(stream))
            return CML_ERR_PARAMETER;
        auto target = FindHandle(handle);
        return target ? target->StartSession(stream, *session) : CML_ERR_HANDLE;
    });
}

CML_API int CMLStopPreviewSession(int handle, int session)
{
    return Guarded("CMLStopPreviewSession", [&] {
        auto target = FindHandle(handle);
        return target ? target->StopSession(session) : CML_ERR_HANDLE;
    });
}

CML_API int CMLGetSessionMediaInfo(int handle, int session, CML_MEDIA_INFO* mediaInfo)
{
    return Guarded("CMLGetSessionMediaInfo", [&] {
        if (!mediaInfo)
            return CML_ERR_PARAMETER;
        auto target = FindHandle(handle);
        auto found = target ? target->FindSessionById(session) : nullptr;
        if (!found)
            return CML_ERR_HANDLE;
        *mediaInfo = found->MediaInfo();
        return CML_OK;
    });
}

CML_API int CMLRegSessionCallBacks(int handle, int session, CML_CONNECT_STATUS_CB status,
                                   CML_VIDEO_CB video, CML_AUDIO_CB audio, void* context)
{
    return Guarded("CMLRegSessionCallBacks", [&] {
        auto target = FindHandle(handle);
        auto found = target ? target->FindSessionById(session) : nullptr;
        if (!found)
            return CML_ERR_HANDLE;
        // Status and sound first: the pictures held back for the video callback are let go
        // by its registration, and the first of them may already change the format.
        found->SetStatusCallback(status, context);
        found->SetAudioCallback(audio, context);
        found->SetVideoCallback(video, context);
        return CML_OK;
    });
}

}  // extern "C"
