#pragma once

#include <string>
#include <string_view>

namespace ostravex {

inline constexpr std::string_view kVersionCheckPath = "/apps/versioncheck.php?app=Ostravex";

// The service's address for a host (a name, or a name and ":port").
std::string VersionCheckUrl(std::string_view host);

// A host under the reserved ".invalid" domain stands for "no service configured": a build
// without a real service never contacts anybody, and does not report a failure at every
// start either.
bool IsVersionServiceConfigured(std::string_view host);

}  // namespace ostravex
