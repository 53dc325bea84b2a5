#include "serial/platform/TrustedFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace Platform {

namespace {

// Unix98 pseudo-terminal slaves: majors 136 to 143.
bool IsPseudoTerminal(const struct stat& info) {
    const unsigned int number = major(info.st_rdev);
    return number >= 136 && number <= 143;
}

bool CheckFolder(const std::string& folder, bool create, bool* missing, std::string* problem) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 && errno == ENOENT && create) {
        // EEXIST: someone made it between the two calls; the check below judges what is there.
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            *problem = folder + " cannot be made: " + std::strerror(errno);
            return false;
        }
    }
    if (::lstat(folder.c_str(), &info) != 0) {
        if (errno == ENOENT && !create) {
            *missing = true;
            return true;
        }
        *problem = folder + " cannot be read: " + std::strerror(errno);
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        *problem = folder + " is a link, not a folder";
    } else if (!S_ISDIR(info.st_mode)) {
        *problem = folder + " is not a folder";
    } else if (info.st_uid != ::geteuid()) {
        *problem = folder + " belongs to user " + std::to_string(info.st_uid) + ", not to you";
    } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *problem = folder + " can be written by other users";
    } else {
        return true;
    }
    return false;
}

} // namespace

bool EnsureTrustedFolders(const std::string* folders, size_t count, bool create,
                          std::string* problem) {
    for (size_t i = 0; i < count; ++i) {
        bool missing = false;
        if (!CheckFolder(folders[i], create, &missing, problem))
            return false;
        if (missing)
            return true; // nothing below it either
    }
    return true;
}

bool IsTrustedDevice(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    return !IsPseudoTerminal(info) || info.st_uid == ::geteuid();
}

bool PeerIsUser(int socketFd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
           length == sizeof peer && peer.uid == ::geteuid();
}

void TellOnce(const std::string& who, const std::string& problem) {
    static std::mutex lock;
    static std::set<std::string> told;
    const std::lock_guard<std::mutex> guard(lock);
    if (told.size() < 64 && told.insert(problem).second)
        std::fprintf(stderr, "%s: %s\n", who.c_str(), problem.c_str());
}

} // namespace Platform
