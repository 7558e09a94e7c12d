#include "decoder_library/HandlingMediaBuffer.h"

platform::HRESULT CHandlingMediaBuffer::QueryInterface(const platform::GUID& iid, void** object)
{
    if (object == nullptr)
        return platform::E_POINTER;
    if (iid == platform::IID_IUnknown) {
        AddRef();
        *object = static_cast<platform::IUnknown*>(this);
        return platform::S_OK;
    }
    *object = nullptr;
    return platform::E_NOINTERFACE;
}

std::uint32_t CHandlingMediaBuffer::AddRef()
{
    return ++m_cRef;
}

std::uint32_t CHandlingMediaBuffer::Release()
{
    const std::uint32_t left = --m_cRef;
    if (left == 0)
        delete this;
    return left;
}

platform::HRESULT CHandlingMediaBuffer::SetLength(platform::DWORD length)
{
    m_dwLength = length;
    return platform::S_OK;
}

platform::HRESULT CHandlingMediaBuffer::GetMaxLength(platform::DWORD* maxLength)
{
    if (maxLength == nullptr)
        return platform::E_POINTER;
    *maxLength = m_dwMaxLength;
    return platform::S_OK;
}

platform::HRESULT CHandlingMediaBuffer::GetBufferAndLength(platform::BYTE** buffer, platform::DWORD* length)
{
    if (buffer != nullptr)
        *buffer = m_pData;
    if (length != nullptr)
        *length = m_dwLength;
    return platform::S_OK;
}
