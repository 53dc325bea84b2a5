#include "external/OthersMayChange.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// What makes `info` changeable by another user; `what` names it in the line ("it", "its
// folder /x").
std::string Judge(const struct stat& info, const std::string& what) {
    if (info.st_uid != ::getuid() && info.st_uid != 0)
        return what + " belongs to another user (uid " + std::to_string(info.st_uid) +
               "), who may change it";
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "users other than you may write to " + what;
    return {};
}

std::string JudgeFolder(const std::string& file) {
    const std::string folder = FolderOf(file);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        return {};
    return Judge(info, "its folder " + folder);
}

} // namespace

std::string OthersMayChange(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return {}; // nothing to start: the start itself says so
    // Who may replace the name: whoever may write to its folder.
    if (std::string why = JudgeFolder(path); !why.empty())
        return why;
    if (!S_ISLNK(info.st_mode))
        return Judge(info, "it");
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr || ::stat(resolved, &info) != 0)
        return {};
    const std::string target = resolved;
    if (std::string why = JudgeFolder(target); !why.empty())
        return "it leads to " + target + ", and " + why;
    if (std::string why = Judge(info, "it"); !why.empty())
        return "it leads to " + target + ", and " + why;
    return {};
}
