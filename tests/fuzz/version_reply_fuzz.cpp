// Any reply body: the version reply is read into one of its kinds without throwing, and the
// text it asks the window to show is one line of the body.
#include <string_view>

#include "fuzz_support.h"
#include "update/version_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const ostravex::VersionReply reply = ostravex::InterpretVersionReply(body);
    using Kind = ostravex::VersionReply::Kind;
    using ostravex::fuzz::Require;
    Require(reply.text.find_first_of("\r\n") == std::string::npos, "the text spans lines");
    Require(body.find(reply.text) != std::string_view::npos, "the text is not in the body");
    if (reply.kind == Kind::NewBuild) {
        Require(reply.text != ostravex::kOwnBuild, "the own build announced as new");
    }
    if (reply.kind != Kind::NewBuild && reply.kind != Kind::Notice) {
        Require(reply.text.empty(), "a text that nobody shows");
    }
    if (body.find_first_of("\r\n") == std::string_view::npos) {
        Require(reply.kind == Kind::CouldNotCheck, "one line read as a whole reply");
    }
    return 0;
}
