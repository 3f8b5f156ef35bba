#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "io/status.h"

namespace ostravex {

struct HttpGetOptions {
    // The request fails when no byte moves for this long.
    std::chrono::milliseconds inactivityTimeout{30000};
    int maxRedirects = 5;
    // Runs between waits, so that the caller's window stays responsive.
    std::function<void()> pump;
};

struct HttpReply {
    int status = 0;
    std::string body;  // of the final document, after redirections
};

// An HTTP/1.0 GET that sends exactly the request line and the Accept, User-Agent and Host
// lines of the version check, in that order. libcurl makes the connection; the request
// and the reply are this client's own, so that no other header goes out and redirections
// get a Host line of their own. A status of 400 and above, other than 401 and 407, is a
// failure.
Status HttpGet(const std::string& url, const HttpGetOptions& options, HttpReply& reply);

// The request bytes sent for `pathAndQuery` on `host` (the port appears only when not 80).
std::string HttpRequestBytes(const std::string& pathAndQuery, const std::string& host, int port);

}  // namespace ostravex
