#pragma once
// An FCS file and the chain of data sets it holds ($NEXTDATA).
#include <memory>
#include <string>
#include <vector>

#include "ByteSource.h"
#include "TDataSet.h"
#include "core/Messages.h"

namespace orvala {

class TMultiThread;

class TFCStream {
public:
    // Opens the file and reads every data set's HEADER and TEXT; with readValues
    // also their values (kept in each TDataSet::values). A file that cannot be
    // opened or does not start like FCS sets badfile. Errors of the first data
    // set propagate; a failing later data set ends the chain there.
    TFCStream(const std::string& filename, bool readValues, MessageSink& sink = defaultSink(),
              TMultiThread* pool = nullptr);
    // The same over bytes already in memory; name is used in messages.
    TFCStream(std::shared_ptr<const ByteSource> source, const std::string& name, bool readValues,
              MessageSink& sink = defaultSink(), TMultiThread* pool = nullptr);
    ~TFCStream();
    TFCStream(const TFCStream&) = delete;
    TFCStream& operator=(const TFCStream&) = delete;

    int Count() const { return int(dataset.size()); }
    // Data set i; null once taken.
    TDataSet* DataSet(int i) const { return dataset[size_t(i)].get(); }
    // Hands data set i over to the caller (a TData keeps it).
    std::unique_ptr<TDataSet> TakeDataSet(int i);
    int64_t Size() const { return source_ ? source_->size() : 0; }
    const std::string& FileName() const { return fname; }

    bool badfile = false;

private:
    void readAll(bool readValues, MessageSink& sink, TMultiThread* pool);

    std::shared_ptr<const ByteSource> source_;
    std::vector<std::unique_ptr<TDataSet>> dataset;
    std::string fname;
};

}  // namespace orvala
