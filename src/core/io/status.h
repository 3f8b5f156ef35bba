#pragma once

#include <string>
#include <utility>

namespace ostravex {

// The outcome of an operation that can fail; the caller decides how to report it.
class [[nodiscard]] Status {
  public:
    static Status success() { return Status(); }
    static Status failure(std::string reason) { return Status(std::move(reason), 0); }
    // A failure with its own text that callers still tell apart by an errno value.
    static Status failure(std::string reason, int code) { return Status(std::move(reason), code); }
    // A failure described by the system's text for an errno value.
    static Status fromErrno(int error);

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const std::string& reason() const { return m_reason; }
    // The errno value behind a failure, or 0 when it has none.
    int code() const { return m_code; }

  private:
    Status() = default;
    Status(std::string reason, int code) : m_ok(false), m_reason(std::move(reason)), m_code(code) {}

    bool m_ok = true;
    std::string m_reason;
    int m_code = 0;
};

}  // namespace ostravex
