#pragma once
// The encoding side of the XviD library. Nothing in the system encodes; the object binds the
// library's encoding functions and initialises the library, as every XviD codec does.

#include "decoder_library/XvidDecode.h"
#include "platform/Sync.h"

class XvidEncore {
public:
    XvidEncore();
    XvidEncore(const XvidEncore&) = delete;
    XvidEncore& operator=(const XvidEncore&) = delete;
    ~XvidEncore();

private:
    platform::HMODULE m_hModule = nullptr;
    void* m_hEncoder = nullptr;  // an encoder instance, only ever made by encoding
    XvidFunction m_pfnGlobal = nullptr;
    XvidFunction m_pfnEncore = nullptr;
    XvidFunction m_pfnPluginSingle = nullptr;
    XvidFunction m_pfnPlugin2Pass1 = nullptr;
    XvidFunction m_pfnPlugin2Pass2 = nullptr;
    XvidFunction m_pfnPluginLumimasking = nullptr;
    platform::CriticalSection m_csEncoder;
};
