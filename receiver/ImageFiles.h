#pragma once
// How the dialogue measures a chosen image file: the one thing it asks of the file system.
// Each system's form implements it (system/); tests may fake it. Paths are UTF-8. A form is
// read-only once made and may be used from any thread.

#include "receiver/ImageFileCheck.h"

#include <string>

class TImageFiles {
public:
    virtual ~TImageFiles() = default;
    // Measures the file at `path`. Anything but a regular file (a pipe, a device, a folder) is
    // refused without being opened, with "it is a pipe, not a file" and the like; a regular
    // file is opened once, without blocking, so that a pipe put in its place meanwhile cannot
    // hold the window either. An unreadable or missing file is refused with the system's
    // reason ("No such file or directory").
    virtual TImageMeasure Measure(const std::string& path) const = 0;
};
