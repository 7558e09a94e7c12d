#include "decoder_library/XvidEncore.h"

#include <xvid.h>

namespace {

XvidFunction Bind(platform::HMODULE module, const char* name)
{
    return reinterpret_cast<XvidFunction>(platform::GetCodecModuleFunction(module, name));
}

}  // namespace

XvidEncore::XvidEncore()
{
    // The plain name is tried twice: the encoding side never looked in the program folder.
    const char* name = XvidLibraryName();
    m_hModule = platform::LoadCodecModule(name);
    if (m_hModule == nullptr)
        m_hModule = platform::LoadCodecModule(name);
    if (m_hModule == nullptr) {
        ReportXvidMissing("xvidcore.dll not found");
        return;
    }
    m_pfnGlobal = Bind(m_hModule, "xvid_global");
    if (m_pfnGlobal == nullptr) {
        ReportXvidMissing("xvid_global() not found");
        return;
    }
    m_pfnEncore = Bind(m_hModule, "xvid_encore");
    m_pfnPluginSingle = Bind(m_hModule, "xvid_plugin_single");
    m_pfnPlugin2Pass1 = Bind(m_hModule, "xvid_plugin_2pass1");
    m_pfnPlugin2Pass2 = Bind(m_hModule, "xvid_plugin_2pass2");
    m_pfnPluginLumimasking = Bind(m_hModule, "xvid_plugin_lumimasking");
    if (m_pfnEncore == nullptr || m_pfnPluginSingle == nullptr || m_pfnPlugin2Pass1 == nullptr ||
        m_pfnPlugin2Pass2 == nullptr || m_pfnPluginLumimasking == nullptr) {
        ReportXvidMissing("xvid_encore() not found");
        return;
    }
    xvid_gbl_init_t init{};
    init.version = kXvidApiVersion;
    init.cpu_flags = 0xCF;
    init.debug = 0;
    m_pfnGlobal(nullptr, XVID_GBL_INIT, &init, nullptr);
}

XvidEncore::~XvidEncore()
{
    if (m_hEncoder != nullptr && m_pfnEncore != nullptr)
        m_pfnEncore(m_hEncoder, XVID_ENC_DESTROY, nullptr, nullptr);
    m_hEncoder = nullptr;
    platform::FreeCodecModule(m_hModule);
}
