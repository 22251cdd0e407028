#include "uLoadedLibrary.h"

#include <dlfcn.h>

namespace platform {

void* OpenLibrary(const char* soname, QString& failure)
{
    void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        failure = QString::fromLocal8Bit(dlerror());
    return library;
}

void* LibraryFunction(void* library, const char* name)
{
    return dlsym(library, name);
}

} // namespace platform
