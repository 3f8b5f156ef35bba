#include "update/version_check.h"

namespace ostravex {

std::string VersionCheckUrl(std::string_view host) {
    return "http://" + std::string(host) + std::string(kVersionCheckPath);
}

bool IsVersionServiceConfigured(std::string_view host) {
    const std::string_view name = host.substr(0, host.find(':'));
    return !name.empty() && !name.ends_with(".invalid");
}

}  // namespace ostravex
