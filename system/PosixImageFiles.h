#pragma once
// The image files of a POSIX system: measured with stat, open and fstat. Stateless; any
// thread.

#include "receiver/ImageFiles.h"

class TPosixImageFiles final : public TImageFiles {
public:
    TImageMeasure Measure(const std::string& path) const override;
};

// This system's image files, made once.
const TImageFiles& SystemImageFiles();
