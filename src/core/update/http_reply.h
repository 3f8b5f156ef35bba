#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "io/status.h"

namespace ostravex {

// The most the version check reads from one reply: the document it wants is two short
// lines, so a larger reply is refused rather than held in memory.
inline constexpr std::size_t kMaxHttpReplyBytes = 1 << 20;

// What the client needs from one HTTP/1.x reply, as received from the server.
struct ParsedHttpReply {
    int status = 0;        // the three-digit status code
    std::string reason;    // the status line's text after the code
    std::string location;  // the Location header's value, blanks around it removed
    std::string body;      // everything after the empty line that ends the header
};

// Splits raw reply bytes into status, Location and body. The bytes come from the network
// and may be anything: a reply that is not HTTP is a failure, never an exception.
Status ParseHttpReply(std::string_view bytes, ParsedHttpReply& reply);

}  // namespace ostravex
