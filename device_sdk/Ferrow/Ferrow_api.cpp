// The exported functions: argument checks, the handle table, and no exception crossing
// the C boundary.
#include "device_sdk/Ferrow/Ferrow.h"

#include "device_sdk/Ferrow/FerrowWire.h"
#include "device_sdk/Ferrow/Handle.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

static_assert(sizeof(FRW_CONNECT_INFO) == 32, "connect block is 32 bytes");
static_assert(sizeof(FRW_USER_INFO) == 24, "user block is 24 bytes");
static_assert(sizeof(FRW_MEDIA_INFO) == 16, "media information is 16 bytes");

namespace {

// The library's handles by number; handles are never reused within a process.
struct Library {
    std::mutex lock;
    bool loaded = false;                                           // Guarded by lock
    int localPort = 0;                                             // Guarded by lock
    int flags = 0;                                                 // Guarded by lock
    int nextHandle = 1;                                            // Guarded by lock
    std::map<int, std::shared_ptr<ferrow::Handle>> handles;        // Guarded by lock
};

Library& TheLibrary()
{
    static Library library;
    return library;
}

std::shared_ptr<ferrow::Handle> FindHandle(int handle)
{
    Library& library = TheLibrary();
    std::lock_guard<std::mutex> lock(library.lock);
    auto it = library.handles.find(handle);
    return it == library.handles.end() ? nullptr : it->second;
}

bool ValidChannel(int channel)
{
    return channel >= 0 && channel < FRW_CHANNELS;
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
        std::fprintf(stderr, "[FERROW] - %s: %s\n", name, error.what());
    } catch (...) {
        std::fprintf(stderr, "[FERROW] - %s: unexpected failure\n", name);
    }
    return FRW_ERR_PROTOCOL;
}

template <typename Setter>
int RegisterCallback(int handle, int channel, Setter setter)
{
    if (!ValidChannel(channel))
        return FRW_ERR_PARAMETER;
    auto target = FindHandle(handle);
    if (!target)
        return FRW_ERR_HANDLE;
    auto preview = target->FindPreview(channel);
    if (!preview)
        return FRW_ERR_HANDLE;
    setter(*preview);
    return FRW_OK;
}

}  // namespace

extern "C" {

int FRWLoadLibrary(int localPort, int flags)
{
    Library& library = TheLibrary();
    std::lock_guard<std::mutex> lock(library.lock);
    library.loaded = true;
    library.localPort = localPort;
    library.flags = flags;
    return 1;
}

int FRWFreeLibrary(void)
{
    return Guarded("FRWFreeLibrary", [] {
        Library& library = TheLibrary();
        std::map<int, std::shared_ptr<ferrow::Handle>> handles;
        {
            std::lock_guard<std::mutex> lock(library.lock);
            handles.swap(library.handles);
            library.loaded = false;
        }
        for (auto& [number, handle] : handles)
            handle->Close();
        return FRW_OK;
    });
}

int FRWCreateHandle(int* handle, const void* connectInfo, const void* userInfo, int /*reserved*/)
{
    return Guarded("FRWCreateHandle", [&] {
        if (!handle || !connectInfo || !userInfo)
            return FRW_ERR_PARAMETER;
        *handle = 0;
        FRW_CONNECT_INFO connect;
        FRW_USER_INFO user;
        std::memcpy(&connect, connectInfo, sizeof(connect));
        std::memcpy(&user, userInfo, sizeof(user));
        ferrow::LoginTarget target;
        target.address = FixedText(connect.szAddress, sizeof(connect.szAddress));
        target.port = connect.wPort;
        target.mediaPort = connect.dwMediaPort <= 0xFFFF
                               ? static_cast<uint16_t>(connect.dwMediaPort)
                               : 0;
        target.user = FixedText(user.szUser, sizeof(user.szUser));
        target.password = FixedText(user.szPassword, sizeof(user.szPassword));
        Library& library = TheLibrary();
        {
            std::lock_guard<std::mutex> lock(library.lock);
            if (!library.loaded)
                return FRW_ERR_NOT_LOADED;
            target.localPort = library.localPort;
            target.libraryFlags = library.flags;
        }
        if (target.port == 0)
            return FRW_ERR_PARAMETER;
        auto created = std::make_shared<ferrow::Handle>(target);
        int result = created->Login();
        if (result != FRW_OK)
            return result;
        std::lock_guard<std::mutex> lock(library.lock);
        int number = library.nextHandle++;
        library.handles[number] = std::move(created);
        *handle = number;
        return FRW_OK;
    });
}

int FRWDestroyHandle(int handle)
{
    return Guarded("FRWDestroyHandle", [&] {
        std::shared_ptr<ferrow::Handle> target;
        {
            Library& library = TheLibrary();
            std::lock_guard<std::mutex> lock(library.lock);
            auto it = library.handles.find(handle);
            if (it == library.handles.end())
                return FRW_ERR_HANDLE;
            target = std::move(it->second);
            library.handles.erase(it);
        }
        target->Close();
        return FRW_OK;
    });
}

int FRWStartPreview(int handle, int channel, int /*reserved1*/, int /*reserved2*/)
{
    return Guarded("FRWStartPreview", [&] {
        if (!ValidChannel(channel))
            return FRW_ERR_NO_SOURCE;
        auto target = FindHandle(handle);
        return target ? target->StartPreview(channel) : FRW_ERR_HANDLE;
    });
}

int FRWStopPreview(int handle, int channel)
{
    return Guarded("FRWStopPreview", [&] {
        if (!ValidChannel(channel))
            return FRW_ERR_PARAMETER;
        auto target = FindHandle(handle);
        return target ? target->StopPreview(channel) : FRW_ERR_HANDLE;
    });
}

int FRWGetMediaInfo(int handle, int channel, void* mediaInfo)
{
    return Guarded("FRWGetMediaInfo", [&] {
        if (!mediaInfo)
            return FRW_ERR_PARAMETER;
        return RegisterCallback(handle, channel, [&](ferrow::Preview& preview) {
            FRW_MEDIA_INFO info = preview.MediaInfo();
            std::memcpy(mediaInfo, &info, sizeof(info));
        });
    });
}

int FRWRegConnectStatusCallBack(int handle, int channel, FRW_CONNECT_STATUS_CB callback,
                                void* context)
{
    return Guarded("FRWRegConnectStatusCallBack", [&] {
        return RegisterCallback(handle, channel, [&](ferrow::Preview& preview) {
            preview.SetStatusCallback(callback, context);
        });
    });
}

int FRWRegVideoPreCallBack(int handle, int channel, FRW_VIDEO_CB callback, void* context)
{
    return Guarded("FRWRegVideoPreCallBack", [&] {
        return RegisterCallback(handle, channel, [&](ferrow::Preview& preview) {
            preview.SetVideoCallback(callback, context);
        });
    });
}

int FRWRegAudioPreCallBack(int handle, int channel, FRW_AUDIO_CB callback, void* context)
{
    return Guarded("FRWRegAudioPreCallBack", [&] {
        return RegisterCallback(handle, channel, [&](ferrow::Preview& preview) {
            preview.SetAudioCallback(callback, context);
        });
    });
}

int FRWRequestEx(int handle, int channel, int request, int subCode, const void* payload,
                 int length, void* reply, int* replyLength, int timeout_ms, int /*reserved*/)
{
    return Guarded("FRWRequestEx", [&] {
        if (!ValidChannel(channel))
            return FRW_ERR_PARAMETER;
        auto target = FindHandle(handle);
        if (!target)
            return FRW_ERR_HANDLE;
        return target->Request(channel, request, subCode, payload, length, reply, replyLength,
                               timeout_ms);
    });
}

unsigned short FRWCalculateCrc(const unsigned char* data, int length)
{
    if (!data || length <= 0)
        return ferrow::wire::Crc16(nullptr, 0);
    return ferrow::wire::Crc16(data, static_cast<size_t>(length));
}

}  // extern "C"
