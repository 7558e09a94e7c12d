// The exported C functions of libGlimmet.so: port checks, and no exception ever crossing
// into the caller.

#include <atomic>
#include <new>

#include "device_sdk/Glimmet/Glimmet.h"
#include "device_sdk/Glimmet/RenderPort.h"
#include "device_sdk/Glimmet/SoundOutput.h"

namespace {

// The render ports, one per video window of the programs, and the one sound stream; fixed
// for the life of the process so that a port is never freed under a decoding thread.
glimmet::RenderPort g_ports[GL_MAX_PORTS];
glimmet::SoundOutput g_sound;
std::atomic<bool> g_initialised{false};

template <typename Body>
int Guard(Body body) {
  try {
    return body();
  } catch (...) {
    return GL_ERR_DEVICE;
  }
}

glimmet::RenderPort* Port(int port) {
  return port >= 0 && port < GL_MAX_PORTS ? &g_ports[port] : nullptr;
}

}  // namespace

extern "C" {

int GL_InitLib(int, int) {
  g_initialised = true;
  return GL_OK;
}

int GL_UnInitLib(void) {
  return Guard([] {
    g_initialised = false;
    for (auto& port : g_ports) port.Release();
    g_sound.Close();
    return GL_OK;
  });
}

int GL_CreateVender(int port, int, void* window, int, int) {
  return Guard([&] {
    if (!g_initialised) return GL_ERR_NOT_INITIALISED;
    glimmet::RenderPort* p = Port(port);
    if (!p) return GL_ERR_INVALID_PORT;
    if (!window) return GL_ERR_INVALID_ARGUMENT;
    p->Bind(window);
    return GL_OK;
  });
}

int GL_DestroyVender(int port) {
  return Guard([&] {
    glimmet::RenderPort* p = Port(port);
    if (!p) return GL_ERR_INVALID_PORT;
    p->Release();
    return GL_OK;
  });
}

int GL_DisplayImg(int port, const unsigned char* picture, int width, int height) {
  return Guard([&] {
    if (!g_initialised) return GL_ERR_NOT_INITIALISED;
    glimmet::RenderPort* p = Port(port);
    return p ? p->Display(picture, width, height) : GL_ERR_INVALID_PORT;
  });
}

int GL_SetOsdStatus(int port, int status) {
  return Guard([&] {
    if (!g_initialised) return GL_ERR_NOT_INITIALISED;
    glimmet::RenderPort* p = Port(port);
    if (!p) return GL_ERR_INVALID_PORT;
    if (status < GL_OSD_NONE || status > GL_OSD_SCHEDULED) return GL_ERR_INVALID_ARGUMENT;
    return p->SetOsd(static_cast<glimmet::OsdStatus>(status));
  });
}

int GL_CreateAudioDevice(void*) {
  return Guard([] { return g_initialised ? g_sound.Open() : GL_ERR_NOT_INITIALISED; });
}

int GL_BeginPlaySound(int blockBytes) {
  return Guard([&] { return g_initialised ? g_sound.Begin(blockBytes) : GL_ERR_NOT_INITIALISED; });
}

int GL_PlaySound(const unsigned char* block) {
  return Guard([&] { return g_initialised ? g_sound.Play(block) : GL_ERR_NOT_INITIALISED; });
}

int GL_PausePlaySound(void) {
  return Guard([] { return g_sound.Pause(); });
}

}  // extern "C"
