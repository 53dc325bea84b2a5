#pragma once
// The image files of a POSIX system: measured with stat, open and fstat. Stateless; any
// thread.

#include "receiver/ImageFiles.h"
#include "system/SystemImageFiles.h"

class TPosixImageFiles final : public TImageFiles {
public:
    TImageMeasure Measure(const std::string& path) const override;
};
