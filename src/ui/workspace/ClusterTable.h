#pragma once
// The cluster table of a data set: a tab-separated text file with a header of
// column ids ("UNIQID", c0, c1 ...) and one line per event ("d" + index, then
// every value in its shortest exact decimal form, "." as separator), CR LF.
#include <ostream>
#include <string>

namespace orvala {

class TData;

void writeClusterTable(const TData& data, std::ostream& out);
// Writes the table to fileName, replacing an existing file; raises OrvalaError
// when the file cannot be written.
void writeClusterTable(const TData& data, const std::string& fileName);

}  // namespace orvala
