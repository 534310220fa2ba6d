#pragma once
// The error of a transform whose parameters or text cannot be used. what() is
// the user-facing text; callers above the data model may wrap it in their own
// error with a prefix naming where the transform came from.
#include <stdexcept>
#include <string>

namespace orvala {

class TransformError : public std::runtime_error {
public:
    explicit TransformError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace orvala
