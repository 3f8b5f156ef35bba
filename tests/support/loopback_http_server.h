#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ostravex::testing {

// A tiny HTTP server on 127.0.0.1 for the version check's tests: it records each request
// as received and answers with what `respond` returns (raw reply bytes), or keeps the
// connection silent when it returns nothing.
class LoopbackHttpServer {
  public:
    using Responder = std::function<std::optional<std::string>(const std::string& request)>;

    explicit LoopbackHttpServer(Responder respond);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const { return m_port; }
    std::string hostAndPort() const { return "127.0.0.1:" + std::to_string(m_port); }
    std::vector<std::string> requests() const;

    // A reply with a status line, the given extra header lines, and the body.
    static std::string Reply(int status, const std::string& body, const std::string& headers = {});

  private:
    void serve();

    Responder m_respond;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

}  // namespace ostravex::testing
