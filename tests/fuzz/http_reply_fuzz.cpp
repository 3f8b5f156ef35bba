// Raw bytes as a server could send them: the reply parser gives a value or a failure, never
// an exception or a read past the end, and what it gives back comes from the input.
#include <string_view>

#include "fuzz_support.h"
#include "update/http_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ostravex::ParsedHttpReply reply;
    if (!ostravex::ParseHttpReply(bytes, reply).ok()) {
        return 0;
    }
    using ostravex::fuzz::Require;
    Require(reply.status >= 0 && reply.status <= 999, "a status outside three digits");
    Require(bytes.ends_with(reply.body), "the body is not the end of the reply");
    Require(reply.body.size() < bytes.size(), "the body swallowed the header");
    Require(reply.location.find_first_of("\r\n") == std::string::npos, "the location spans lines");
    if (!reply.location.empty()) {
        Require(reply.location.front() != ' ' && reply.location.front() != '\t' &&
                    reply.location.back() != ' ' && reply.location.back() != '\t',
                "blanks around the location");
        Require(bytes.find(reply.location) != std::string_view::npos,
                "the location is not in the reply");
    }
    return 0;
}
