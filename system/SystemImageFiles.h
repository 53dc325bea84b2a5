#pragma once
// This system's image files (PosixImageFiles.h or WinImageFiles.h, whichever is built), made
// once; read-only, any thread.

#include "receiver/ImageFiles.h"

const TImageFiles& SystemImageFiles();
