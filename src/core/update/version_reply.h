#pragma once

#include <string>
#include <string_view>

namespace ostravex {

// The running build, as the version service compares it: version 2.5.
inline constexpr std::string_view kOwnBuild = "250";

// What the version service's two-line reply asks the program to do.
struct VersionReply {
    enum class Kind {
        LatestVersion,  // "You have the latest version"
        NewBuild,       // announce build `text`, then open the maker's web site
        Notice,         // show `text`
        CouldNotCheck,  // "Couldn't check for new version"
        Nothing,        // a reply of another kind: nothing is shown
    };
    Kind kind = Kind::Nothing;
    std::string text;
};

// Reads the reply body: "enabled" and the latest build, or "disabled," and a notice.
// Lines end at CR LF, a lone CR or a lone LF; the last line needs no line break.
VersionReply InterpretVersionReply(std::string_view body);

}  // namespace ostravex
