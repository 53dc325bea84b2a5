#pragma once
// Objects that can copy their values into another of their kind: Assign asks the source to
// AssignTo the destination; a source that does not know the destination's class fails with
// "Cannot assign a <source class> to a <destination class>".

#include "serial/Component.h"

#include <stdexcept>
#include <string>

class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TPersistent : public TObject {
public:
    // Copies source's values into this object.
    void Assign(const TPersistent& source) { source.AssignTo(*this); }

protected:
    // Copies this object's values into dest; the base knows no class and always fails.
    virtual void AssignTo(TPersistent& dest) const {
        throw EConvertError(std::string("Cannot assign a ") + ClassName() + " to a " +
                            dest.ClassName());
    }
};
