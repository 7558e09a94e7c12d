// The exported functions: each checks the port, finds or makes the port's player, forwards
// to it, and turns any exception into a failed result so none crosses the C boundary.

#include "player_engine/Pellix.h"

#include <cpuid.h>

#include <array>
#include <atomic>
#include <memory>
#include <new>

#include "common/TraceMessage.h"
#include "player_engine/ErrorCode.h"
#include "player_engine/PellixVersion.h"
#include "player_engine/PlayerPort.h"
#include "player_engine/demuxers/AviFileTime.h"
#include "player_engine/renderers/BitmapFile.h"
#include "player_engine/renderers/VideoOutputWrapper.h"

using pellix::ErrorCode;
using pellix::PlayerPort;

namespace {

constexpr int kPortCount = 16;
constexpr int kFileHeadBytes = 512;

// The 16 players, one per port; a slot is filled on demand and emptied only by
// Pellix_CloseFile. Callers never make and close one port from two threads at once, but a
// port's own threads look it up meanwhile (a source-buffer callback re-arming its flag while
// the port closes), so lookups read a published pointer of their own.
std::array<std::unique_ptr<PlayerPort>, kPortCount> g_owned;
std::array<std::atomic<PlayerPort*>, kPortCount> g_ports{};

bool ValidPort(int port) { return port >= 0 && port < kPortCount; }

PlayerPort* Existing(int port) { return ValidPort(port) ? g_ports[port].load() : nullptr; }

PlayerPort* Creating(int port) {
    if (!ValidPort(port)) return nullptr;
    if (!g_owned[port]) {
        g_owned[port] = std::make_unique<PlayerPort>(port);
        g_ports[port].store(g_owned[port].get());
    }
    return g_owned[port].get();
}

// Runs `body`; an exception becomes `failed`, reported as wrong state unless memory ran out.
template <typename Result, typename Body>
Result Guarded(Result failed, Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        TraceMessage("Pellix: out of memory");
        pellix::SetLastError(ErrorCode::WrongState);
    } catch (...) {
        TraceMessage("Pellix: unexpected failure");
        pellix::SetLastError(ErrorCode::WrongState);
    }
    return failed;
}

// Processor bits of the capability set.
unsigned int ProcessorCaps() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return 0;
    unsigned int caps = 0;
    if (edx & (1u << 23)) caps |= 0x100;   // MMX
    if (edx & (1u << 25)) caps |= 0x80;    // SSE
    return caps;
}

}  // namespace

extern "C" {

unsigned int Pellix_GetSdkVersion(void) {
    const unsigned int parts[4] = {PELLIX_FILE_VERSION_1, PELLIX_FILE_VERSION_2, PELLIX_FILE_VERSION_3,
                                   PELLIX_FILE_VERSION_4};
    return ((parts[2] & 0xFF) << 24) | ((parts[3] & 0xFF) << 16) | ((parts[0] & 0xFF) << 8) | (parts[1] & 0xFF);
}

unsigned int Pellix_GetCaps(void) { return ProcessorCaps() | pellix::RendererCaps(); }

unsigned int Pellix_GetLastError(int port) {
    if (!ValidPort(port)) return 1;
    if (Existing(port) == nullptr) return 0;
    return static_cast<unsigned int>(pellix::LastError());
}

int Pellix_GetFileHeadLength(void) { return kFileHeadBytes; }

int Pellix_SetStreamOpenMode(int port, int mode) {
    return Guarded(0, [&] {
        PlayerPort* p = Creating(port);
        return p && p->SetStreamOpenMode(mode) ? 1 : 0;
    });
}

int Pellix_GetStreamOpenMode(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->StreamOpenModeValue() : 0;
}

int Pellix_OpenFile(int port, const char* fileName) {
    return Guarded(0, [&] {
        PlayerPort* p = Creating(port);
        return p && p->OpenFile(fileName) ? 1 : 0;
    });
}

int Pellix_OpenStream(int port, const unsigned char* header, int headerLength, int bufferSize) {
    return Guarded(0, [&] {
        PlayerPort* p = Creating(port);
        return p && p->OpenStream(header, headerLength, bufferSize) ? 1 : 0;
    });
}

int Pellix_InputData(int port, const unsigned char* data, int length) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->InputData(data, length) ? 1 : 0;
    });
}

int Pellix_CloseFile(int port) {
    return Guarded(0, [&] {
        if (Existing(port) == nullptr) return 0;
        // Unpublished first: a lookup from the port's own threads finds no port from now on,
        // and one that found it before is waited for as the port stops those threads.
        g_ports[port].store(nullptr);
        g_owned[port].reset();
        return 1;
    });
}

int Pellix_CloseStream(int port) { return Pellix_CloseFile(port); }

int Pellix_SetFileEndMsg(int port, void* window, unsigned int message) {
    return Guarded(0, [&] {
        PlayerPort* p = Creating(port);
        if (p == nullptr) return 0;
        p->SetFileEndMessage(window, message);
        return 1;
    });
}

unsigned int Pellix_GetSourceBufferRemain(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->SourceBufferRemain() : 0;
}

int Pellix_ResetSourceBuffer(int port) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->ResetSourceBuffer() ? 1 : 0;
    });
}

int Pellix_SetSourceBufCallBack(int port, unsigned int threshold, PELLIX_SOURCE_CB callback, void* user,
                                void* reserved) {
    (void)reserved;
    return Guarded(0, [&] {
        PlayerPort* p = Creating(port);
        return p && p->SetSourceBufferCallback(threshold, callback, user) ? 1 : 0;
    });
}

int Pellix_ResetSourceBufFlag(int port) {
    PlayerPort* p = Existing(port);
    return p && p->RearmSourceBufferCallback() ? 1 : 0;
}

int Pellix_Play(int port, void* window) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->Play(window) ? 1 : 0;
    });
}

int Pellix_Stop(int port) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->Stop() ? 1 : 0;
    });
}

int Pellix_Pause(int port, int pause) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->Pause(pause != 0) ? 1 : 0;
    });
}

int Pellix_Fast(int port) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->Fast() ? 1 : 0;
    });
}

int Pellix_Slow(int port) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->Slow() ? 1 : 0;
    });
}

int Pellix_OneByOne(int port) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->OneByOne(false) ? 1 : 0;
    });
}

int Pellix_OneByOneBack(int port) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->OneByOne(true) ? 1 : 0;
    });
}

int Pellix_RefreshPlay(int port) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->RefreshPlay() ? 1 : 0;
    });
}

int Pellix_SetPlayPos(int port, float position) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->SetPlayPosition(position) ? 1 : 0;
    });
}

float Pellix_GetPlayPos(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->PlayPosition() : 0.0f;
}

int Pellix_SetCurrentFrameNum(int port, unsigned int frame) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->SetCurrentFrame(frame) ? 1 : 0;
    });
}

unsigned int Pellix_GetCurrentFrameNum(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->CurrentFrame() : 0;
}

unsigned int Pellix_GetPlayedFrames(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->PlayedFrames() : 0;
}

unsigned int Pellix_GetPlayedTime(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->PlayedTimeMs() : 0;
}

unsigned int Pellix_GetFileTime(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->FileTimeMs() : 0;
}

unsigned int Pellix_GetFileTotalFrames(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->TotalFrames() : 0;
}

unsigned int Pellix_GetCurrentFrameRate(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->CurrentFrameRate() : 0;
}

int Pellix_GetPictureSize(int port, int* width, int* height) {
    PlayerPort* p = Existing(port);
    return p && p->PictureSize(width, height) ? 1 : 0;
}

unsigned int Pellix_GetFileTime2(int reserved, const char* fileName) {
    (void)reserved;
    return Guarded(0u, [&] { return pellix::RecordingFileTimeMs(fileName); });
}

int Pellix_GetKeyFramePos(int port, unsigned int value, unsigned int type, void* info) {
    (void)port;
    (void)value;
    (void)type;
    (void)info;
    return 0;
}

int Pellix_GetNextKeyFramePos(int port, unsigned int value, unsigned int type, void* info) {
    return Pellix_GetKeyFramePos(port, value, type, info);
}

int Pellix_PlaySound(int port) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->PlaySound() ? 1 : 0;
    });
}

int Pellix_StopSound(int port) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->StopSound() ? 1 : 0;
    });
}

int Pellix_SetVolume(int port, unsigned short volume) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        return p && p->SetVolume(volume) ? 1 : 0;
    });
}

unsigned int Pellix_GetVolume(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->Volume() : 0;
}

int Pellix_SetDisplayBuf(int port, unsigned int frames) {
    return Guarded(0, [&] {
        PlayerPort* p = Creating(port);
        return p && p->SetDisplayBuffer(frames) ? 1 : 0;
    });
}

unsigned int Pellix_GetDisplayBuf(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->DisplayBuffer() : 0;
}

int Pellix_SetDisplayCallBack(int port, PELLIX_DISPLAY_CB callback, void* user) {
    return Guarded(0, [&] {
        PlayerPort* p = Creating(port);
        if (p == nullptr) return 0;
        p->Renderer().SetDisplayCallback(callback, user);
        return 1;
    });
}

int Pellix_RigisterDrawFun(int port, PELLIX_DRAW_CB callback, void* user) {
    return Guarded(0, [&] {
        PlayerPort* p = Creating(port);
        if (p == nullptr) return 0;
        p->Renderer().SetDrawCallback(callback, user);
        return 1;
    });
}

int Pellix_SetDisplayRegion(int port, unsigned int region, const PELLIX_RECT* rect, void* window, int enable) {
    return Guarded(0, [&] {
        PlayerPort* p = Existing(port);
        if (p == nullptr) return 0;
        pellix::OutputRect source;
        if (rect != nullptr) source = {rect->left, rect->top, rect->right, rect->bottom};
        return p->Renderer().SetRegion(region, rect ? &source : nullptr, window, enable != 0) ? 1 : 0;
    });
}

int Pellix_SetOverlayMode(int port, int overlay, unsigned int colorKey) {
    return Guarded(0, [&] {
        PlayerPort* p = Creating(port);
        if (p == nullptr) return 0;
        p->Renderer().SetOverlay(overlay != 0, colorKey);
        return 1;
    });
}

int Pellix_GetOverlayMode(int port) {
    PlayerPort* p = Existing(port);
    return p && p->Renderer().Overlay() ? 1 : 0;
}

unsigned int Pellix_GetColorKey(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->Renderer().ColorKey() : 0;
}

void Pellix_SetMultiScreen(int port, int flag) {
    PlayerPort* p = Existing(port);
    if (p != nullptr) p->Renderer().SetMultiScreen(flag);
}

int Pellix_IsMultiScreen(int port) {
    PlayerPort* p = Existing(port);
    return p ? p->Renderer().MultiScreen() : 0;
}

int Pellix_ConvertToBmpFile(const unsigned char* picture, int size, int width, int height, int flip,
                            const char* fileName) {
    return Guarded(0, [&] { return pellix::WriteYuy2AsBitmap(picture, size, width, height, flip != 0, fileName) ? 1 : 0; });
}

int Pellix_SetPicQuality(int port, int value) {
    (void)value;
    return Guarded(0, [&] {
        Creating(port);
        return 0;
    });
}

int Pellix_SetRenderer(int port, int value) {
    (void)port;
    (void)value;
    return 0;
}

int Pellix_SetDecCallBack(int port, PELLIX_DEC_CB callback, void* user) {
    PlayerPort* p = Existing(port);
    return p && p->SetDecodeCallback(callback, user) ? 1 : 0;
}

int Pellix_SetVerifyCallBack(int port, unsigned int begin, unsigned int end, PELLIX_VERIFY_CB callback, void* user) {
    return Guarded(0, [&] {
        PlayerPort* p = Creating(port);
        return p && p->SetVerifyCallback(begin, end, callback, user) ? 1 : 0;
    });
}

}  // extern "C"
