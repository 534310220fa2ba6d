#include "ClusterTable.h"

#include <charconv>
#include <fstream>
#include <string>

#include "core/Messages.h"
#include "core/TData.h"

namespace orvala {

void writeClusterTable(const TData& data, std::ostream& out)
{
    std::string line = "UNIQID";
    for (int j = 0; j < data.CaseSize(); ++j) line += "\tc" + std::to_string(j);
    line += "\r\n";
    out << line;
    char buf[32];
    for (int k = 0; k < data.events(); ++k) {
        line = "d" + std::to_string(k);
        const double* row = data.data[k];
        for (int j = 0; j < data.CaseSize(); ++j) {
            // to_chars gives the shortest text that reads back to the same double,
            // with "." whatever the locale.
            const auto res = std::to_chars(buf, buf + sizeof buf, row[j]);
            line += '\t';
            line.append(buf, res.ptr);
        }
        line += "\r\n";
        out << line;
    }
}

void writeClusterTable(const TData& data, const std::string& fileName)
{
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out) throw OrvalaError("Cannot create file " + fileName);
    writeClusterTable(data, out);
    out.flush();
    if (!out) throw OrvalaError("Cannot write file " + fileName);
}

}  // namespace orvala
