#pragma once
// Which files the page may reach. The browser names files by their absolute paths (the basket
// window lists them so), and every such path is hostile until checked: it is read only when it
// lies below one of the allowed folders (the basket folders, the preview folder, the viewer's
// folder of opened local files) after every symbolic link in it has been resolved, so neither
// ".." nor a link out of the folder nor an encoded separator that a decoder turned into "/"
// reaches anything else.
//
// Two ways to resolve, for the two kinds of use:
//  - reading (pictures, folder listings): the whole path is resolved, links included; the result
//    must lie inside a root (a folder listing may also be the root itself);
//  - changing (rename, delete, new folder): only the parent folder is resolved and must lie inside
//    or be a root; the last name is taken as it is, so a symbolic link is renamed or deleted
//    itself, never its target.
// Pure rules over the file system's answers, tested as tables.
#include <string>
#include <vector>

namespace plover::web {

// Absolute, at most 4096 bytes, no NUL byte, and no "." or ".." among its names.
bool IsPlainAbsolutePath(const std::string& path);
// One name for a file or folder: 1 to 255 bytes, no "/", no NUL, neither "." nor "..".
bool IsPlainName(const std::string& name);

// The path without a trailing "/" (the root "/" stays) and with repeated separators made one.
std::string TrimFolder(const std::string& path);
// Whether path is folder or lies below it, by whole names ("/a/b" is not below "/a/bc").
bool IsSameOrBelow(const std::string& path, const std::string& folder);

enum class EPathUse {
    Read,        // a file to read: strictly below a root, links resolved
    ReadFolder,  // a folder to list: a root itself or below one, links resolved
    Change,      // an entry to rename or delete: its parent resolved, the entry strictly below a root
};

// Checks and resolves `path` for `use` against `roots` (each resolved itself). On success
// `resolved` is the path to use and `root` the resolved root it lies in. False when the path is not
// plain, does not exist, or lies outside every root.
bool ResolveAllowed(const std::string& path, const std::vector<std::string>& roots, EPathUse use,
                    std::string& resolved, std::string* root = nullptr);

// The resolved form of a folder (realpath), or "" when it does not exist.
std::string RealFolder(const std::string& folder);

}  // namespace plover::web
