#include "update/http_reply.h"

#include "io/ascii.h"

namespace ostravex {
namespace {

constexpr std::string_view kNotHttp = "The server's reply is not HTTP";
// Optional white space around a header value: blanks and tabs.
constexpr std::string_view kBlanks = " \t";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The header ends at the first empty line, whether lines end in CR LF or in LF alone.
// Returns where the header's text ends and where the body starts, or false when the
// reply has no empty line (it was cut short).
bool FindHeaderEnd(std::string_view bytes, std::size_t& headEnd, std::size_t& bodyStart) {
    for (std::size_t lineBreak = bytes.find('\n'); lineBreak != std::string_view::npos;
         lineBreak = bytes.find('\n', lineBreak + 1)) {
        const std::size_t next = lineBreak + 1;
        if (next < bytes.size() && bytes[next] == '\n') {
            headEnd = lineBreak;
            bodyStart = next + 1;
            return true;
        }
        if (next + 1 < bytes.size() && bytes[next] == '\r' && bytes[next + 1] == '\n') {
            headEnd = lineBreak;
            bodyStart = next + 2;
            return true;
        }
    }
    return false;
}

// "HTTP/1.0 302 Found": a code of exactly three digits after the first blank, then the
// end of the line or a blank and the reason.
bool ParseStatusLine(std::string_view line, ParsedHttpReply& reply) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4) {
        return false;
    }
    const std::string_view code = line.substr(space + 1, 3);
    if (!IsDigit(code[0]) || !IsDigit(code[1]) || !IsDigit(code[2])) {
        return false;
    }
    const std::string_view rest = line.substr(space + 4);
    if (!rest.empty() && rest.front() != ' ') {
        return false;
    }
    reply.status = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
    reply.reason = std::string(Trimmed(rest));
    return true;
}

}  // namespace

Status ParseHttpReply(std::string_view bytes, ParsedHttpReply& reply) {
    reply = {};
    std::size_t headEnd = 0;
    std::size_t bodyStart = 0;
    if (!bytes.starts_with("HTTP/") || !FindHeaderEnd(bytes, headEnd, bodyStart)) {
        return Status::failure(std::string(kNotHttp));
    }
    const std::string_view head = bytes.substr(0, headEnd);
    std::size_t lineStart = 0;
    bool statusLine = true;
    while (lineStart <= head.size()) {
        std::size_t lineEnd = head.find_first_of("\r\n", lineStart);
        if (lineEnd == std::string_view::npos) {
            lineEnd = head.size();
        }
        const std::string_view line = head.substr(lineStart, lineEnd - lineStart);
        if (statusLine) {
            if (!ParseStatusLine(line, reply)) {
                return Status::failure(std::string(kNotHttp));
            }
            statusLine = false;
        } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
            if (reply.location.empty() &&
                EqualIgnoringAsciiCase(line.substr(0, colon), "location")) {
                reply.location = std::string(Trimmed(line.substr(colon + 1)));
            }
        }
        lineStart = lineEnd + 1;
    }
    reply.body = std::string(bytes.substr(bodyStart));
    return Status::success();
}

}  // namespace ostravex
