#pragma once
// Whether a program file we are about to start could have been changed by another user of this
// machine: then starting it would run that user's code as ours. A file, and the folder that
// holds it, must belong to us or to root and be writable by nobody else (group write of the user's
// private group is the user's own); a link is judged by
// its folder and by the file and folder it leads to. Pure reads of the file system; any thread.

#include <string>

// Why another user may change the file at `path`: one line, such as "it belongs to another
// user (uid 65534), who may change it"; empty when none may, or when there is no file to judge.
std::string OthersMayChange(const std::string& path);
