#pragma once
// The transforms by name, for batch work: the command-line tool runs any of
// them on a data set with its arguments given as text.
#include <string>
#include <vector>

namespace orvala {

class TData;
class TMultiThread;

struct TransformOp {
    const char* name;       // what the user types
    const char* command;    // the menu entry it stands for
    const char* arguments;  // what --arg takes, for help texts
    bool inPlace;           // changes the data set instead of making a new one
};

// Every transform, in menu order.
const std::vector<TransformOp>& TransformOps();

// Runs transform `op` on dat with its arguments (numbers with "." decimals;
// parameters by name or by 1-based number). Returns the new data set of a
// constructing transform (reference count 0), or &dat for an in-place one.
// signalTable: where "findsignal" writes its run table (empty: nowhere).
// Throws OrvalaError for an unknown name, wrong arguments, or a transform
// that refuses (Discriminate with no event left).
TData* RunTransform(TData& dat, const std::string& op, const std::vector<std::string>& args,
                    const std::string& signalTable, TMultiThread* pool);

}  // namespace orvala
