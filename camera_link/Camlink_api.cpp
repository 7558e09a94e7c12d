// The exported functions: argument checks, the handle table, and no exception crossing
// the C boundary.
#include "camera_link/Camlink.h"

#include "camera_link/CameraHandle.h"
#include "camera_link/CameraUrl.h"
#include "common/TraceMessage.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
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

}  // extern "C"
