#pragma once
// The error of a Gating-ML document that cannot be read or used; what() is the
// user-facing text and names the element at fault.
#include <string>

#include "core/Messages.h"

namespace orvala {

class GmlError : public OrvalaError {
public:
    explicit GmlError(std::string text) : OrvalaError(std::move(text)) {}
};

}  // namespace orvala
