#include "platform/codecs/CodecModule.h"

#include <dlfcn.h>

namespace platform {

HMODULE LoadCodecModule(const char* name)
{
    if (name == nullptr || *name == '\0')
        return nullptr;
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void* GetCodecModuleFunction(HMODULE module, const char* name)
{
    if (module == nullptr || name == nullptr)
        return nullptr;
    return dlsym(module, name);
}

void FreeCodecModule(HMODULE module)
{
    if (module != nullptr)
        dlclose(module);
}

}  // namespace platform
