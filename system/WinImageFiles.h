#pragma once
// The image files of Windows: measured through a handle opened for reading that shares the
// file with everyone (a file another program has open can still be chosen). Stateless; any
// thread.

#include "receiver/ImageFiles.h"
#include "system/SystemImageFiles.h"

class TWinImageFiles final : public TImageFiles {
public:
    TImageMeasure Measure(const std::string& path) const override;
};
