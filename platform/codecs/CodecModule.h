#pragma once
// Codec libraries loaded at run time by file name, their functions bound by name: the
// module-loading calls of the Windows service, for libraries such as XviD that are not
// linked at build time.

namespace platform {

using HMODULE = void*;

// Loads the library by name (found on the usual library path) or by full path. Null when
// it cannot be loaded. Every successful load is paired with one FreeCodecModule.
HMODULE LoadCodecModule(const char* name);

// The address of the exported function, or null.
void* GetCodecModuleFunction(HMODULE module, const char* name);

void FreeCodecModule(HMODULE module);

}  // namespace platform
