#pragma once
// The decoding side of the XviD library, loaded at run time by name and bound by name.

#include <cstdint>

#include "common/LumaDeblock.h"
#include "platform/codecs/CodecModule.h"

// The XviD library's entry points: (handle, operation, parameter 1, parameter 2).
using XvidFunction = int (*)(void* handle, int operation, void* parameter1, void* parameter2);

// Structure version given in every parameter record handed to the library.
inline constexpr int kXvidApiVersion = 0x00010182;

// The file name of the XviD library; HALVANE_XVIDCORE in the environment names another
// (tests use it to stand for a machine without the library).
const char* XvidLibraryName();

// Loads the library by its plain name, then from the program folder.
platform::HMODULE LoadXvidLibraryFromProgramFolder(const char* name);

// Shows the topmost "Error" box that reports a missing piece of the XviD library.
void ReportXvidMissing(const char* text);

// Library results mapped to the codec's own: -4 -> -1, -3 -> -2, -2 -> -3, -1 -> -100,
// anything else -> 0.
int MapXvidResult(int result);

class XvidDecode {
public:
    // Loads and binds the library; a missing piece is reported once in a message box and
    // leaves the object without that function (construction itself does not fail).
    XvidDecode();
    XvidDecode(const XvidDecode&) = delete;
    XvidDecode& operator=(const XvidDecode&) = delete;
    ~XvidDecode();

    bool IsBound() const { return m_pfnGlobal != nullptr && m_pfnDecore != nullptr; }

    // Initialises the library and creates a decoder instance for width x height. The mapped
    // result; 0 is success.
    int Create(int width, int height);

    // Decodes one frame into picture (width x height x 3 / 2 bytes, YV12). 0 when a picture
    // was written; otherwise the mapped result, kFaulted when the library faulted inside the
    // call, or kNoPicture when the frame gave no picture (headers only, or a picture size
    // other than the instance's); the picture is then left as it was.
    static constexpr int kFaulted = -1000;
    static constexpr int kNoPicture = -1001;
    int Decode(const unsigned char* frame, int length, unsigned char* picture);

private:
    void DestroyInstance();

    platform::HMODULE m_hModule = nullptr;
    void* m_hInstance = nullptr;
    int m_nWidth = 0;
    int m_nHeight = 0;
    XvidFunction m_pfnGlobal = nullptr;
    XvidFunction m_pfnDecore = nullptr;

    // The picture size the stream itself declares, from its last sequence header.
    int m_nStreamWidth = 0;
    int m_nStreamHeight = 0;
    // The luma deblocking of the pictures handed out.
    suite::LumaDeblock m_deblock;
};
