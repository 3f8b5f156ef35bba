#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/status.h"

namespace ostravex {

// The name part of a path: everything after its last "/".
std::string NamePart(std::string_view path);
// The folder part of a path with its trailing "/", or "" when the path has none.
std::string FolderPart(std::string_view path);
// The extension of a name (from its last "."), with the letters A-Z lowered; "" if none.
std::string LowerExtension(std::string_view name);
// The path with a "/" appended unless it already ends with one (an empty path stays empty).
std::string WithTrailingSlash(std::string_view path);

// True when `path` names an existing regular file (directories and devices do not count).
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// What a path names, learnt with one question to the file system.
enum class PathKind { Missing, Folder, File, Other };
PathKind KindOfPath(const std::string& path);
// What each of many paths names, in their order. Paths whose folder holds several of them
// are looked up in one read of that folder, whose entries tell their kind: a long list of
// roms costs a few calls per folder, not one per rom. A symbolic link, or an entry whose
// kind the file system does not tell, is asked about alone.
std::vector<PathKind> KindsOfPaths(const std::vector<std::string>& paths);

// Whether a new file could be created in `folder` now, asked without creating one: the
// failure is the one creating a file there would meet (a folder that does not exist, is
// not a folder, or may not be written).
Status CheckCanCreateIn(const std::string& folder);

// Success when nothing stands at `path` and its name is usable (not too long, its folder
// reachable); EEXIST when something does.
Status NameIsFree(const std::string& path);

// When `path` is a symbolic link: the absolute path of the file it finally leads to (links
// in its folders resolved too), which is the file a change made through `path` changes.
// Nothing for any other path, or a link that leads nowhere.
std::optional<std::string> SymbolicLinkTarget(const std::string& path);

// Renames `from` to `to`, failing when `to` already exists.
Status RenameNoReplace(const std::string& from, const std::string& to);
// Renames `from` to `to`, replacing a file that stands there.
Status RenameReplacing(const std::string& from, const std::string& to);

// Number of characters in a UTF-8 text; each invalid byte (io/utf8.h) counts as one, as
// it shows as one.
std::size_t CharacterCount(std::string_view text);

}  // namespace ostravex
