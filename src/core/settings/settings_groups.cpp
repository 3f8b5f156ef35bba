#include "settings/settings_groups.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "io/paths.h"

namespace ostravex {
namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

std::optional<std::int32_t> WholeNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    std::int32_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return number;
}

Status CreateFolders(const std::string& folder) {
    std::string path;
    std::size_t start = 0;
    while (start < folder.size()) {
        const std::size_t slash = folder.find('/', start);
        path = folder.substr(0, slash == std::string::npos ? folder.size() : slash + 1);
        start = slash == std::string::npos ? folder.size() : slash + 1;
        if (path.empty() || path == "/") {
            continue;
        }
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            return Status::fromErrno(errno);
        }
    }
    return Status::success();
}

}  // namespace

std::optional<bool> ReadBoolean(const RegValue& value) {
    if (value.type == RegValue::Type::Dword) {
        return value.dword != 0;
    }
    if (value.type != RegValue::Type::String) {
        return std::nullopt;
    }
    const std::string upper = Upper(value.text);
    if (upper == "TRUE" || upper == "YES" || upper == "Y") {
        return true;
    }
    if (upper == "FALSE" || upper == "NO" || upper == "N") {
        return false;
    }
    if (const auto number = WholeNumber(value.text)) {
        return *number != 0;
    }
    return std::nullopt;
}

std::optional<std::int32_t> ReadNumber(const RegValue& value) {
    if (value.type == RegValue::Type::Dword) {
        return static_cast<std::int32_t>(value.dword);
    }
    if (value.type == RegValue::Type::String) {
        return WholeNumber(value.text);
    }
    return std::nullopt;
}

std::optional<std::string> ReadText(const RegValue& value) {
    if (value.type == RegValue::Type::String) {
        return value.text;
    }
    return std::nullopt;
}

std::optional<SettingValue> ReadStoredSetting(const RegFile& file, std::string_view key,
                                              const StoredSetting& setting) {
    const RegValue* stored = file.find(key, setting.name);
    if (!stored) {
        return std::nullopt;
    }
    switch (setting.kind) {
        case SettingKind::Text:
            return ReadText(*stored);
        case SettingKind::Boolean:
            return ReadBoolean(*stored);
        case SettingKind::Number:
            return ReadNumber(*stored);
    }
    return std::nullopt;
}

void WriteStoredSetting(RegFile& file, std::string_view key, std::string_view name,
                        const SettingValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        file.set(key, name, RegValue::String(*text));
    } else if (const auto* on = std::get_if<bool>(&value)) {
        file.set(key, name, RegValue::String(*on ? "TRUE" : "FALSE"));
    } else {
        file.set(key, name,
                 RegValue::Dword(static_cast<std::uint32_t>(std::get<std::int32_t>(value))));
    }
}

bool FormVersionAllowsRestore(const RegFile& file, std::string_view key) {
    const RegValue* stored = file.find(key, kFormVersion);
    return !stored || ReadNumber(*stored).value_or(0) >= 0;
}

bool RestoreSettingsGroup(
    const RegFile& file, std::string_view key, std::span<const StoredSetting> settings,
    const std::function<void(const StoredSetting&, const SettingValue&)>& apply) {
    if (!FormVersionAllowsRestore(file, key)) {
        return false;
    }
    for (const StoredSetting& setting : settings) {
        if (const auto value = ReadStoredSetting(file, key, setting)) {
            apply(setting, *value);
        }
    }
    return true;
}

void SaveSettingsGroup(RegFile& file, std::string_view key, std::span<const StoredSetting> settings,
                       const std::function<SettingValue(const StoredSetting&)>& current) {
    file.set(key, kFormVersion, RegValue::Dword(0));
    for (const StoredSetting& setting : settings) {
        WriteStoredSetting(file, key, setting.name, current(setting));
    }
}

std::string SettingsFilePath() {
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        base = config;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        base = ".config";
    }
    return WithTrailingSlash(base) + "ostravex/settings.reg";
}

Status LoadSettingsFile(const std::string& path, RegFile& file) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        file = RegFile();
        return errno == ENOENT ? Status::success() : Status::fromErrno(errno);
    }
    std::ostringstream content;
    content << in.rdbuf();
    file = RegFile::Parse(content.str());
    return Status::success();
}

Status SaveSettingsFile(const std::string& path, const RegFile& file) {
    if (Status status = CreateFolders(FolderPart(path)); !status) {
        return status;
    }
    const std::string temporary = path + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Status::fromErrno(errno);
    }
    const std::string content = file.Serialize();
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            close(fd);
            unlink(temporary.c_str());
            return Status::fromErrno(error);
        }
        written += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0 || close(fd) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return Status::fromErrno(error);
    }
    if (Status status = RenameReplacing(temporary, path); !status) {
        unlink(temporary.c_str());
        return status;
    }
    return Status::success();
}

}  // namespace ostravex
