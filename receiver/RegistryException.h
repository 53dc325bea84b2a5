#pragma once
// The one failure of an option store: a value that cannot be read, is of the wrong type, or
// cannot be written, with the store's own text ("Failed to set data for 'Delay'"). Raised by
// every system's store, so that whoever loads the options catches one type. Plain C++.

#include <stdexcept>

class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
