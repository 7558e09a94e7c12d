#include "decoder_library/XvidDecode.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include <xvid.h>

#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/codecs/GuardedCall.h"

namespace {

// Low delay, so each frame gives its picture at once. The pictures are luma deblocked, but by
// LumaDeblock on the library's internal planes rather than by the library: the same bytes at a
// fraction of the cost.
constexpr int kGeneralFlags = XVID_LOWDELAY;
// Global initialisation: CPU features detected by the library (no force bit).
constexpr unsigned kCpuFlags = 0xCF;

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
    // A new instance starts its pictures afresh; so does the filter.
    m_deblock = suite::LumaDeblock{};
    return 0;
}

int XvidDecode::Decode(const unsigned char* frame, int length, unsigned char* picture)
{
    if (m_hInstance == nullptr || m_pfnDecore == nullptr)
        return -100;

    // A frame may begin with a sequence header; the library then reports the stream's
    // picture size and is called again for the rest of the frame. A picture is written only
    // while that size is the one the caller's buffer was made for. The library itself never
    // writes into the caller's buffer: the picture is taken from its internal planes, which
    // also serves widths whose rows the library would lay out wider than the caller's.
    const unsigned char* data = frame;
    int remaining = length;
    for (int pass = 0; pass < 4 && remaining > 0; ++pass) {
        const bool fits = m_nStreamWidth == m_nWidth && m_nStreamHeight == m_nHeight;
        xvid_dec_frame_t record{};
        record.version = kXvidApiVersion;
        record.general = kGeneralFlags;
        record.bitstream = const_cast<unsigned char*>(data);
        record.length = remaining;
        record.output.csp = fits ? XVID_CSP_INTERNAL : XVID_CSP_NULL;
        // The library hands out no planes unless given somewhere to write; it does not write
        // there when asked for its internal planes.
        record.output.plane[0] = picture;
        record.output.stride[0] = m_nWidth;
        record.brightness = 0;
        xvid_dec_stats_t stats{};
        stats.version = kXvidApiVersion;
        DecodeCall call{m_pfnDecore, m_hInstance, &record, &stats, 0};
        if (!platform::RunGuarded(RunDecodeCall, &call))
            return kFaulted;
        if (call.result < 0)
            return MapXvidResult(call.result);
        if (stats.type == XVID_TYPE_VOL) {
            if (stats.data.vol.width != m_nStreamWidth || stats.data.vol.height != m_nStreamHeight)
                m_deblock = suite::LumaDeblock{};
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
        // The planes stay the library's until the next call; the quantisers are those of the
        // picture's macroblocks, or none when the library would not have filtered.
        suite::LumaDeblock::Planes planes;
        planes.y = static_cast<const std::uint8_t*>(record.output.plane[0]);
        planes.u = static_cast<const std::uint8_t*>(record.output.plane[1]);
        planes.v = static_cast<const std::uint8_t*>(record.output.plane[2]);
        planes.y_stride = record.output.stride[0];
        planes.chroma_stride = record.output.stride[1];
        if (planes.y == nullptr || planes.u == nullptr || planes.v == nullptr)
            return kNoPicture;
        const int width = m_nWidth;
        const int height = m_nHeight;
        m_deblock.DeblockLuma(planes, stats.data.vop.qscale, stats.data.vop.qscale_stride, width, height, picture,
                              width);
        // Then V, then U, each at half the picture's width and height.
        const int chromaWidth = width / 2;
        const int chromaHeight = height / 2;
        unsigned char* destinationV = picture + static_cast<std::size_t>(width) * height;
        unsigned char* destinationU = destinationV + static_cast<std::size_t>(chromaWidth) * chromaHeight;
        for (int row = 0; row < chromaHeight; ++row) {
            const std::size_t source = static_cast<std::size_t>(row) * planes.chroma_stride;
            std::memcpy(destinationV + static_cast<std::size_t>(row) * chromaWidth, planes.v + source, chromaWidth);
            std::memcpy(destinationU + static_cast<std::size_t>(row) * chromaWidth, planes.u + source, chromaWidth);
        }
        return 0;
    }
    return kNoPicture;
}
