#include "platform/shared_library.h"

#include <dlfcn.h>

namespace platform {

SharedLibrary::~SharedLibrary() { Close(); }

bool SharedLibrary::Open(const std::string& path)
{
    Close();
    // RTLD_LOCAL: the library's own symbols (Init, Decode, ...) must not
    // satisfy lookups of anything loaded later.
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        error = why ? why : "dlopen failed";
        return false;
    }
    error.clear();
    return true;
}

void SharedLibrary::Close()
{
    if (handle) {
        dlclose(handle);
        handle = nullptr;
    }
}

void* SharedLibrary::Symbol(const char* name)
{
    if (!handle) {
        error = "library not loaded";
        return nullptr;
    }
    dlerror();
    void* address = dlsym(handle, name);
    if (!address) {
        const char* why = dlerror();
        error = std::string("missing entry point ") + name + (why ? std::string(": ") + why : std::string());
    }
    return address;
}

}  // namespace platform
