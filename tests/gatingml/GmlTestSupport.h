#pragma once
// What the Gating-ML tests share: a workspace of their own, and the standard's
// compliance cases (document, gate id, truth file) with their truth files.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/TData.h"
#include "core/TDataList.h"

namespace orvala::gmltest {

// Installs a workspace list for the lifetime of the object.
struct Workspace {
    TDataList list;
    TDataList* previous = TData::Workspace;
    Workspace() { TData::Workspace = &list; }
    ~Workspace()
    {
        list.Clear();
        TData::Workspace = previous;
    }
};

inline std::filesystem::path complianceDir()
{
    return std::filesystem::path(ORVALA_SHARED_DIR) / "gatingml-compliance";
}

struct ComplianceCase {
    std::string file, gate, truthFile;
};

// The rows of index.tsv; empty when the folder is absent.
inline std::vector<ComplianceCase> complianceCases()
{
    std::vector<ComplianceCase> cases;
    std::ifstream index(complianceDir() / "index.tsv");
    std::string line;
    std::getline(index, line);  // header
    while (std::getline(index, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        ComplianceCase c;
        if (std::getline(fields, c.file, '\t') && std::getline(fields, c.gate, '\t') &&
            std::getline(fields, c.truthFile, '\t'))
            cases.push_back(std::move(c));
    }
    return cases;
}

// One entry per event of data1.fcs: 1 when the event is in the gate.
inline std::vector<char> truthOf(const std::filesystem::path& file)
{
    std::ifstream in(file);
    std::vector<char> out;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        out.push_back(line == "1" ? 1 : 0);
    }
    return out;
}

}  // namespace orvala::gmltest
