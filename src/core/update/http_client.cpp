#include "update/http_client.h"

#include <curl/curl.h>
#include <poll.h>

#include <charconv>
#include <cstring>
#include <memory>

#include "update/http_reply.h"

namespace ostravex {
namespace {

constexpr const char* kAccept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; ICS)";
// How long one wait for the network lasts before pending events run again.
constexpr int kWaitSliceMs = 50;

using Clock = std::chrono::steady_clock;

struct CurlGlobal {
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlString {
    char* text = nullptr;
    ~CurlString() { curl_free(text); }
};

struct UrlParts {
    std::string host;
    int port = 80;
    std::string pathAndQuery;
};

Status ParseUrl(const std::string& url, UrlParts& parts) {
    UrlHandle handle(curl_url());
    if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return Status::failure("Invalid address: " + url);
    }
    CurlString scheme, host, port, path, query;
    curl_url_get(handle.get(), CURLUPART_SCHEME, &scheme.text, 0);
    if (!scheme.text || std::string(scheme.text) != "http") {
        return Status::failure("Only plain HTTP addresses can be checked: " + url);
    }
    if (curl_url_get(handle.get(), CURLUPART_HOST, &host.text, 0) != CURLUE_OK) {
        return Status::failure("Invalid address: " + url);
    }
    parts.host = host.text;
    parts.port = 80;
    if (curl_url_get(handle.get(), CURLUPART_PORT, &port.text, 0) == CURLUE_OK && port.text) {
        // The port may come from a server's redirection: read it without throwing.
        const char* end = port.text + std::strlen(port.text);
        const auto [stop, error] = std::from_chars(port.text, end, parts.port);
        if (error != std::errc() || stop != end || parts.port <= 0 || parts.port > 65535) {
            return Status::failure("Invalid address: " + url);
        }
    }
    curl_url_get(handle.get(), CURLUPART_PATH, &path.text, 0);
    parts.pathAndQuery = path.text && *path.text ? path.text : "/";
    if (curl_url_get(handle.get(), CURLUPART_QUERY, &query.text, 0) == CURLUE_OK && query.text) {
        parts.pathAndQuery += std::string("?") + query.text;
    }
    return Status::success();
}

// A redirection's target: `location` may be absolute or relative to `base`.
Status ResolveLocation(const std::string& base, const std::string& location, std::string& next) {
    UrlHandle handle(curl_url());
    if (curl_url_set(handle.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(handle.get(), CURLUPART_URL, location.c_str(), 0) != CURLUE_OK) {
        return Status::failure("Invalid redirection: " + location);
    }
    CurlString resolved;
    curl_url_get(handle.get(), CURLUPART_URL, &resolved.text, 0);
    next = resolved.text ? resolved.text : "";
    return Status::success();
}

// One connection: libcurl resolves and connects, waiting in slices so that events run.
class Connection {
  public:
    Connection() {
        static CurlGlobal global;
        m_easy = curl_easy_init();
        m_multi = curl_multi_init();
    }
    ~Connection() {
        if (m_added) {
            curl_multi_remove_handle(m_multi, m_easy);
        }
        curl_multi_cleanup(m_multi);
        curl_easy_cleanup(m_easy);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Status open(const UrlParts& parts, const HttpGetOptions& options) {
        const std::string address = "http://" + parts.host + ":" + std::to_string(parts.port) + "/";
        curl_easy_setopt(m_easy, CURLOPT_URL, address.c_str());
        curl_easy_setopt(m_easy, CURLOPT_CONNECT_ONLY, 1L);
        curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_easy, CURLOPT_PROXY, "");
        curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(options.inactivityTimeout.count()));
        curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_error);
        curl_multi_add_handle(m_multi, m_easy);
        m_added = true;
        for (;;) {
            int running = 0;
            curl_multi_perform(m_multi, &running);
            int queued = 0;
            if (CURLMsg* message = curl_multi_info_read(m_multi, &queued);
                message && message->msg == CURLMSG_DONE) {
                if (message->data.result != CURLE_OK) {
                    return Status::failure(*m_error ? m_error
                                                    : curl_easy_strerror(message->data.result));
                }
                break;
            }
            curl_multi_poll(m_multi, nullptr, 0, kWaitSliceMs, nullptr);
            if (options.pump) {
                options.pump();
            }
        }
        curl_socket_t socket = CURL_SOCKET_BAD;
        curl_easy_getinfo(m_easy, CURLINFO_ACTIVESOCKET, &socket);
        m_socket = socket;
        return Status::success();
    }

    Status send(const std::string& bytes, const HttpGetOptions& options) {
        std::size_t sent = 0;
        Clock::time_point lastActivity = Clock::now();
        while (sent < bytes.size()) {
            std::size_t n = 0;
            const CURLcode result =
                curl_easy_send(m_easy, bytes.data() + sent, bytes.size() - sent, &n);
            if (result == CURLE_AGAIN) {
                if (Status status = wait(POLLOUT, lastActivity, options); !status) {
                    return status;
                }
                continue;
            }
            if (result != CURLE_OK) {
                return Status::failure(curl_easy_strerror(result));
            }
            sent += n;
            lastActivity = Clock::now();
        }
        return Status::success();
    }

    // Reads until the server closes the connection (HTTP/1.0), at most kMaxHttpReplyBytes.
    Status receive(std::string& bytes, const HttpGetOptions& options) {
        Clock::time_point lastActivity = Clock::now();
        char buffer[16384];
        for (;;) {
            std::size_t n = 0;
            const CURLcode result = curl_easy_recv(m_easy, buffer, sizeof buffer, &n);
            if (result == CURLE_AGAIN) {
                if (Status status = wait(POLLIN, lastActivity, options); !status) {
                    return status;
                }
                continue;
            }
            if (result != CURLE_OK) {
                return Status::failure(curl_easy_strerror(result));
            }
            if (n == 0) {
                return Status::success();
            }
            if (bytes.size() + n > kMaxHttpReplyBytes) {
                return Status::failure("The server's reply is too long");
            }
            bytes.append(buffer, n);
            lastActivity = Clock::now();
        }
    }

  private:
    Status wait(short events, Clock::time_point lastActivity, const HttpGetOptions& options) {
        if (Clock::now() - lastActivity >= options.inactivityTimeout) {
            return Status::failure("Request aborted on timeout");
        }
        pollfd descriptor{static_cast<int>(m_socket), events, 0};
        poll(&descriptor, 1, kWaitSliceMs);
        if (options.pump) {
            options.pump();
        }
        return Status::success();
    }

    CURL* m_easy = nullptr;
    CURLM* m_multi = nullptr;
    bool m_added = false;
    curl_socket_t m_socket = CURL_SOCKET_BAD;
    char m_error[CURL_ERROR_SIZE] = {};
};

bool IsRedirection(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

std::string HttpRequestBytes(const std::string& pathAndQuery, const std::string& host, int port) {
    std::string request = "GET " + pathAndQuery + " HTTP/1.0\r\n";
    request += std::string("Accept: ") + kAccept + "\r\n";
    request += std::string("User-Agent: ") + kUserAgent + "\r\n";
    request += "Host: " + host + (port != 80 ? ":" + std::to_string(port) : "") + "\r\n";
    request += "\r\n";
    return request;
}

Status HttpGet(const std::string& url, const HttpGetOptions& options, HttpReply& reply) {
    std::string current = url;
    for (int redirections = 0;; ++redirections) {
        UrlParts parts;
        if (Status status = ParseUrl(current, parts); !status) {
            return status;
        }
        std::string bytes;
        {
            Connection connection;
            if (Status status = connection.open(parts, options); !status) {
                return status;
            }
            if (Status status = connection.send(
                    HttpRequestBytes(parts.pathAndQuery, parts.host, parts.port), options);
                !status) {
                return status;
            }
            if (Status status = connection.receive(bytes, options); !status) {
                return status;
            }
        }
        ParsedHttpReply parsed;
        if (Status status = ParseHttpReply(bytes, parsed); !status) {
            return status;
        }
        if (IsRedirection(parsed.status) && !parsed.location.empty()) {
            if (redirections >= options.maxRedirects) {
                return Status::failure("Too many redirections");
            }
            std::string next;
            if (Status status = ResolveLocation(current, parsed.location, next); !status) {
                return status;
            }
            current = next;
            continue;
        }
        if (parsed.status >= 400 && parsed.status != 401 && parsed.status != 407) {
            return Status::failure(std::to_string(parsed.status) + " " + parsed.reason);
        }
        reply.status = parsed.status;
        reply.body = std::move(parsed.body);
        return Status::success();
    }
}

}  // namespace ostravex
