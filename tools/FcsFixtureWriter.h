#pragma once
// Writes list-mode FCS 3.0 files of 32-bit float values: the demo data set of
// the workbench and small fixtures for tests. Knows nothing of the readers.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvala::fixtures {

struct FcsParameter {
    std::string name;      // $PnN
    std::string longName;  // $PnS (left out when empty)
    double range = 262144;  // $PnR
};

struct FcsDataSet {
    std::vector<FcsParameter> parameters;
    std::vector<float> values;  // event-major: values[event * parameters.size() + parameter]
    // Further keywords, written after the required ones in this order.
    std::vector<std::pair<std::string, std::string>> keywords;
    int events() const { return parameters.empty() ? 0 : int(values.size() / parameters.size()); }
};

// The bytes of an FCS 3.0 file holding the data sets in order, chained with
// $NEXTDATA. Values are little-endian floats ($BYTEORD 1,2,3,4). Keyword
// values must not hold the delimiter "|"; they are written as given.
std::string fcs30Bytes(const std::vector<FcsDataSet>& sets);
// Writes those bytes to path; false when the file cannot be written.
bool writeFcs30(const std::string& path, const std::vector<FcsDataSet>& sets);

// "$SPILLOVER" value: n, the n parameter names, then the n x n matrix row by
// row (row = the dye, column = the detector it spills into).
std::string spilloverValue(const std::vector<std::string>& names, const std::vector<std::vector<double>>& matrix);

// The demo data set: blood-like populations on 12 parameters (scatter, nine
// fluorescence channels with spillover between neighbours, time), events
// events, reproducible from seed.
FcsDataSet makeDemoDataSet(int events, uint64_t seed = 20260601);

}  // namespace orvala::fixtures
