#include "update/version_reply.h"

#include <vector>

namespace ostravex {
namespace {

std::vector<std::string> ReplyLines(std::string_view body) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') {
                ++i;
            }
        } else {
            line += c;
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

VersionReply InterpretVersionReply(std::string_view body) {
    const std::vector<std::string> lines = ReplyLines(body);
    if (lines.size() < 2) {
        return {VersionReply::Kind::CouldNotCheck, {}};
    }
    const std::string& first = lines[0];
    if (first.find("enabled") != std::string::npos) {
        if (lines[1] == kOwnBuild) {
            return {VersionReply::Kind::LatestVersion, {}};
        }
        return {VersionReply::Kind::NewBuild, lines[1]};
    }
    if (first.find("disabled") != std::string::npos) {
        const auto comma = first.find(',');
        return {VersionReply::Kind::Notice,
                comma == std::string::npos ? first : first.substr(comma + 1)};
    }
    return {VersionReply::Kind::Nothing, {}};
}

}  // namespace ostravex
