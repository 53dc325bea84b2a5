#include "external/OthersMayChange.h"

#include <climits>
#include <cstdlib>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether `group` is the user's private group: named after the user, with no other members.
// Systems that give each user one set umask 002, so group write is on for all the user makes.
bool UsersOwnGroup(gid_t group) {
    if (group != ::getgid())
        return false;
    std::vector<char> buffer(16384);
    struct passwd user {};
    struct passwd* userFound = nullptr;
    struct group entry {};
    struct group* groupFound = nullptr;
    if (::getpwuid_r(::getuid(), &user, buffer.data(), buffer.size() / 2, &userFound) != 0 ||
        userFound == nullptr ||
        ::getgrgid_r(group, &entry, buffer.data() + buffer.size() / 2, buffer.size() / 2,
                     &groupFound) != 0 ||
        groupFound == nullptr)
        return false;
    for (char** member = entry.gr_mem; member != nullptr && *member != nullptr; ++member)
        if (std::string(*member) != user.pw_name)
            return false;
    return std::string(entry.gr_name) == user.pw_name;
}

// What makes `info` changeable by another user; `what` names it in the line ("it", "its
// folder /x").
std::string Judge(const struct stat& info, const std::string& what) {
    if (info.st_uid != ::getuid() && info.st_uid != 0)
        return what + " belongs to another user (uid " + std::to_string(info.st_uid) +
               "), who may change it";
    const bool groupWrites = (info.st_mode & S_IWGRP) != 0 && !UsersOwnGroup(info.st_gid);
    if (groupWrites || (info.st_mode & S_IWOTH) != 0)
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
