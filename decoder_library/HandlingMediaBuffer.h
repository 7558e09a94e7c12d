#pragma once
// A media buffer over memory it does not own: the codec points it at a caller's frame or
// picture before each use. The reference count starts at 1; the last Release deletes it.

#include <atomic>

#include "platform/codecs/MediaObject.h"

class CHandlingMediaBuffer final : public platform::IMediaBuffer {
public:
    CHandlingMediaBuffer() = default;

    platform::HRESULT QueryInterface(const platform::GUID& iid, void** object) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    platform::HRESULT SetLength(platform::DWORD length) override;
    platform::HRESULT GetMaxLength(platform::DWORD* maxLength) override;
    platform::HRESULT GetBufferAndLength(platform::BYTE** buffer, platform::DWORD* length) override;

    // Set directly by the codec before each use.
    platform::BYTE* m_pData = nullptr;
    platform::DWORD m_dwMaxLength = 0;
    platform::DWORD m_dwLength = 0;

private:
    ~CHandlingMediaBuffer() = default;

    std::atomic<std::uint32_t> m_cRef{1};
    unsigned char m_bFlag = 0;
};
