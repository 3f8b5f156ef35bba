#pragma once

#include <string>

#include "io/status.h"

namespace ostravex {

// A shared library loaded when the program first needs it rather than at start-up, as
// systemd does for its optional libraries. A library linked the usual way is loaded, with
// every library behind it, before main runs, also in runs that never use it: libarchive
// brings libxml2 and ICU among nine others. Once loaded, a library stays loaded for the rest
// of the process (its functions may be held anywhere).
class SharedLibrary {
  public:
    // Loads `soname`, binding all its symbols now and keeping them out of the global
    // namespace. A failure names the library and says why.
    static Status Load(const std::string& soname, SharedLibrary& library);

    // Points `function` at the library's function `name`; a failure names both. Declare
    // the pointer with the type from the library's own header (`decltype(&archive_read_new)`),
    // so that a signature that differs shows when compiling.
    template <typename Function>
    Status resolve(const char* name, Function*& function) const {
        void* address = nullptr;
        if (Status status = find(name, address); !status) {
            return status;
        }
        function = reinterpret_cast<Function*>(address);
        return Status::success();
    }

    const std::string& soname() const { return m_soname; }

  private:
    Status find(const char* name, void*& address) const;

    void* m_handle = nullptr;
    std::string m_soname;
};

// The functions a program takes from one optional library, loaded by the first call to
// `get()` and then kept: every later call gives the same functions, or the same reason
// why there are none. Meant to be a function-local static, so that the first use loads
// it, once, whatever the thread:
//
//     const OptionalLibrary<XmlFunctions>& Xml() {
//         static const OptionalLibrary<XmlFunctions> library("libxml2.so.2", &ResolveXml);
//         return library;
//     }
//
// `Functions` is a struct of function pointers; `resolve` points each of them at the
// library's function (SharedLibrary::resolve) and returns the first failure.
template <typename Functions>
class OptionalLibrary {
  public:
    using Resolver = Status (*)(const SharedLibrary& library, Functions& functions);

    OptionalLibrary(const char* soname, Resolver resolve) : m_status(Status::success()) {
        SharedLibrary library;
        m_status = SharedLibrary::Load(soname, library);
        if (m_status) {
            m_status = resolve(library, m_functions);
        }
    }
    OptionalLibrary(const OptionalLibrary&) = delete;
    OptionalLibrary& operator=(const OptionalLibrary&) = delete;

    // The functions, or null when the library could not be loaded (`status()` says why).
    const Functions* functions() const { return m_status ? &m_functions : nullptr; }
    const Status& status() const { return m_status; }

  private:
    Functions m_functions{};
    Status m_status;
};

}  // namespace ostravex
