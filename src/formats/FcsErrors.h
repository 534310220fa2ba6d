#pragma once
// Exceptions of the FCS reader; what() is the text shown to the user.
#include "core/Messages.h"

namespace orvala {

// The file is shorter than its segments say, or its layout cannot be read.
class EFCSBadFile : public OrvalaError {
public:
    using OrvalaError::OrvalaError;
};

// A keyword the reader needs is missing or malformed.
class FcsFormatError : public OrvalaError {
public:
    using OrvalaError::OrvalaError;
};

}  // namespace orvala
