#pragma once
// Text from files is kept as the bytes the file holds. For display it is read as
// UTF-8 when it is valid UTF-8 (FCS 3.1 writes UTF-8), otherwise as Latin-1.
#include <string>

namespace orvala {

bool isValidUtf8(const std::string& bytes);
// The bytes as UTF-8 text for the screen.
std::string displayText(const std::string& bytes);

}  // namespace orvala
