#include "decoder_library/XvidDecode.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <xvid.h>

#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/codecs/GuardedCall.h"

namespace {

// Colour space of the pictures the library writes: planar 4:2:0 with V before U.
constexpr int kColourSpaceYV12 = XVID_CSP_YV12;
// Low delay, so each frame gives its picture at once, and luma deblocking.
constexpr int kGeneralFlags = XVID_LOWDELAY | XVID_DEBLOCKY;
// Global initialisation: CPU features detected by the library (no force bit).
constexpr unsigned kCpuFlags = 0xCF;

int RoundUpTo4(int value)
{
    return (value + 3) & ~3;
}

struct DecodeCall {
    XvidFunction decore;
    void* instance;
    xvid_dec_frame_t* frame;
    xvid_dec_stats_t* stats;
    int result;
};

void RunDecodeCall(void* context)
{
    auto* call = static_cast<DecodeCall*>(context);
    call->result = call->decore(call->instance, XVID_DEC_DECODE, call->frame, call->stats);
}

}  // namespace

const char* XvidLibraryName()
{
    const char* name = std::getenv("HALVANE_XVIDCORE");
    return name != nullptr && *name != '\0' ? name : "libxvidcore.so.4";
}

platform::HMODULE LoadXvidLibraryFromProgramFolder(const char* name)
{
    platform::HMODULE module = platform::LoadCodecModule(name);
    if (module == nullptr && std::strchr(name, '/') == nullptr) {
        const std::string path = platform::ProgramFolderHost() + "/" + name;
        module = platform::LoadCodecModule(path.c_str());
    }
    return module;
}

void ReportXvidMissing(const char* text)
{
    platform::MessageBox(nullptr, text, "Error", platform::MB_OK | platform::MB_TOPMOST);
}

int MapXvidResult(int result)
{
    switch (result) {
    case XVID_ERR_VERSION:
        return -1;
    case XVID_ERR_FORMAT:
        return -2;
    case XVID_ERR_MEMORY:
        return -3;
    case XVID_ERR_FAIL:
        return -100;
    default:
        return 0;
    }
}

XvidDecode::XvidDecode()
{
    // The message texts name the library as the system has always named it.
    m_hModule = LoadXvidLibraryFromProgramFolder(XvidLibraryName());
    if (m_hModule == nullptr) {
        ReportXvidMissing("xvidcore.dll not found");
        return;
    }
    m_pfnGlobal = reinterpret_cast<XvidFunction>(platform::GetCodecModuleFunction(m_hModule, "xvid_global"));
    if (m_pfnGlobal == nullptr) {
        ReportXvidMissing("xvid_global() not found");
        return;
    }
    m_pfnDecore = reinterpret_cast<XvidFunction>(platform::GetCodecModuleFunction(m_hModule, "xvid_decore"));
    if (m_pfnDecore == nullptr)
        ReportXvidMissing("xvid_decore() not found");
}

XvidDecode::~XvidDecode()
{
    DestroyInstance();
    platform::FreeCodecModule(m_hModule);
}

void XvidDecode::DestroyInstance()
{
    if (m_hInstance != nullptr && m_pfnDecore != nullptr)
        m_pfnDecore(m_hInstance, XVID_DEC_DESTROY, nullptr, nullptr);
    m_hInstance = nullptr;
}

int XvidDecode::Create(int width, int height)
{
    if (!IsBound())
        return -100;
    DestroyInstance();
    xvid_gbl_init_t init{};
    init.version = kXvidApiVersion;
    init.cpu_flags = kCpuFlags;
    init.debug = 0;
    m_pfnGlobal(nullptr, XVID_GBL_INIT, &init, nullptr);

    xvid_dec_create_t create{};
    create.version = kXvidApiVersion;
    create.width = width;
    create.height = height;
    m_nWidth = width;
    m_nHeight = height;
    m_nStreamWidth = width;
    m_nStreamHeight = height;
    const int mapped = MapXvidResult(m_pfnDecore(nullptr, XVID_DEC_CREATE, &create, nullptr));
    if (mapped != 0)
        return mapped;
    m_hInstance = create.handle;

    // The library writes rows of width rounded up to a multiple of 4; a picture whose rows
    // are narrower than that goes through the scratch picture so the caller's buffer of
    // width x height x 3 / 2 bytes is never overrun.
    m_pScratch.reset();
    m_nScratchStride = RoundUpTo4(width);
    if (m_nScratchStride != width || height % 2 != 0) {
        const std::size_t rows = static_cast<std::size_t>(height) + 2;
        const std::size_t size = static_cast<std::size_t>(m_nScratchStride) * rows * 3 / 2;
        m_pScratch.reset(new (std::nothrow) unsigned char[size]);
        if (m_pScratch == nullptr) {
            DestroyInstance();
            return -3;
        }
        std::memset(m_pScratch.get(), 0, size);
    }
    return 0;
}

int XvidDecode::Decode(const unsigned char* frame, int length, unsigned char* picture)
{
    if (m_hInstance == nullptr || m_pfnDecore == nullptr)
        return -100;
    const int stride = m_nScratchStride;
    unsigned char* target = m_pScratch != nullptr ? m_pScratch.get() : picture;

    // A frame may begin with a sequence header; the library then reports the stream's
    // picture size and is called again for the rest of the frame. A picture is written only
    // while that size is the one the caller's buffer was made for.
    const unsigned char* data = frame;
    int remaining = length;
    bool pictureWritten = false;
    for (int pass = 0; pass < 4 && remaining > 0 && !pictureWritten; ++pass) {
        const bool fits = m_nStreamWidth == m_nWidth && m_nStreamHeight == m_nHeight;
        xvid_dec_frame_t record{};
        record.version = kXvidApiVersion;
        record.general = kGeneralFlags;
        record.bitstream = const_cast<unsigned char*>(data);
        record.length = remaining;
        record.output.csp = fits ? kColourSpaceYV12 : XVID_CSP_NULL;
        record.output.plane[0] = target;
        record.output.stride[0] = stride;
        record.brightness = 0;
        xvid_dec_stats_t stats{};
        stats.version = kXvidApiVersion;
        DecodeCall call{m_pfnDecore, m_hInstance, &record, &stats, 0};
        if (!platform::RunGuarded(RunDecodeCall, &call))
            return kFaulted;
        if (call.result < 0)
            return MapXvidResult(call.result);
        if (stats.type == XVID_TYPE_VOL) {
            m_nStreamWidth = stats.data.vol.width;
            m_nStreamHeight = stats.data.vol.height;
            data += call.result;
            remaining -= call.result;
            if (call.result == 0)
                break;
            continue;
        }
        // Nothing decoded: a frame of another picture size than the instance's (the library
        // then decodes nothing), or one that only carries headers.
        if (!fits || stats.type == XVID_TYPE_NOTHING)
            return kNoPicture;
        pictureWritten = true;
    }
    if (!pictureWritten)
        return kNoPicture;
    if (m_pScratch != nullptr) {
        // Repack the rows at the picture's own width: Y, then V, then U.
        const int width = m_nWidth;
        const int height = m_nHeight;
        const int chromaWidth = width / 2;
        const int chromaHeight = height / 2;
        const int chromaStride = stride / 2;
        const unsigned char* sourceV = m_pScratch.get() + static_cast<std::size_t>(stride) * height;
        const unsigned char* sourceU = sourceV + static_cast<std::size_t>(chromaStride) * ((height + 1) / 2);
        unsigned char* destinationV = picture + static_cast<std::size_t>(width) * height;
        unsigned char* destinationU = destinationV + static_cast<std::size_t>(chromaWidth) * chromaHeight;
        for (int row = 0; row < height; ++row)
            std::memcpy(picture + static_cast<std::size_t>(row) * width,
                        m_pScratch.get() + static_cast<std::size_t>(row) * stride, width);
        for (int row = 0; row < chromaHeight; ++row) {
            std::memcpy(destinationV + static_cast<std::size_t>(row) * chromaWidth,
                        sourceV + static_cast<std::size_t>(row) * chromaStride, chromaWidth);
            std::memcpy(destinationU + static_cast<std::size_t>(row) * chromaWidth,
                        sourceU + static_cast<std::size_t>(row) * chromaStride, chromaWidth);
        }
    }
    return 0;
}
