#include "io/shared_library.h"

#include <dlfcn.h>

#include <mutex>

namespace ostravex {
namespace {

// dlerror() keeps one text per thread and clears it when read; the calls that make and
// read it must not interleave with another thread's.
std::mutex& DlerrorLock() {
    static std::mutex lock;
    return lock;
}

// dlerror() begins its text with the file it concerns; the caller names the library itself.
std::string WhyNot(const std::string& soname) {
    const char* text = dlerror();
    std::string why = text ? text : "unknown reason";
    if (why.starts_with(soname + ": ")) {
        why.erase(0, soname.size() + 2);
    }
    return why;
}

}  // namespace

Status SharedLibrary::Load(const std::string& soname, SharedLibrary& library) {
    const std::lock_guard<std::mutex> lock(DlerrorLock());
    void* handle = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        return Status::failure(soname + " could not be loaded: " + WhyNot(soname));
    }
    library.m_handle = handle;
    library.m_soname = soname;
    return Status::success();
}

Status SharedLibrary::find(const char* name, void*& address) const {
    if (!m_handle) {
        return Status::failure(m_soname + " is not loaded");
    }
    const std::lock_guard<std::mutex> lock(DlerrorLock());
    address = dlsym(m_handle, name);
    if (!address) {
        return Status::failure(m_soname + " lacks the function " + name);
    }
    return Status::success();
}

}  // namespace ostravex
