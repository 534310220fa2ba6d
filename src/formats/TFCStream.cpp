#include "TFCStream.h"

#include "BufferedReader.h"
#include "FcsErrors.h"

namespace orvala {

TFCStream::TFCStream(const std::string& filename, bool readValues, MessageSink& sink, TMultiThread* pool)
    : fname(filename)
{
    source_ = openFileSource(filename);
    if (!source_) {
        badfile = true;
        return;
    }
    readAll(readValues, sink, pool);
}

TFCStream::TFCStream(std::shared_ptr<const ByteSource> source, const std::string& name, bool readValues,
                     MessageSink& sink, TMultiThread* pool)
    : source_(std::move(source)), fname(name)
{
    if (!source_) {
        badfile = true;
        return;
    }
    readAll(readValues, sink, pool);
}

TFCStream::~TFCStream()
{
    for (auto& d : dataset)
        if (d) d->Parent = nullptr;
}

std::unique_ptr<TDataSet> TFCStream::TakeDataSet(int i)
{
    auto d = std::move(dataset[size_t(i)]);
    if (d) {
        d->DoNotDeleteWithParent = true;
        d->Parent = nullptr;
    }
    return d;
}

void TFCStream::readAll(bool readValues, MessageSink& sink, TMultiThread* pool)
{
    BufferedReader reader(*source_);
    reader.setPosition(0);
    // Errors of the first data set reach the caller.
    auto first = std::make_unique<TDataSet>(this, reader, source_, sink);
    if (first->notfcs) {
        badfile = true;
        return;
    }
    dataset.push_back(std::move(first));

    for (;;) {
        TDataSet& last = *dataset.back();
        int64_t next = 0;
        if (!last.Text || !parseFcsInt(last.Text->GetValue("$NEXTDATA"), next) || next <= 0) break;
        // The next data set starts after this one's segments and before the end of the
        // file; a pointer back into them would read the same bytes again and again.
        if (next <= last.SegmentsEnd()) {
            sink.message("File " + fname + ": $NEXTDATA points inside its own data set; the data sets after it are not read");
            break;
        }
        if (next >= source_->size() || last.Offset + next >= source_->size()) break;
        try {
            reader.setPosition(last.Offset + next);
            auto d = std::make_unique<TDataSet>(this, reader, source_, sink);
            if (d->notfcs) break;
            last.EndLimit = last.Offset + next;
            dataset.push_back(std::move(d));
        } catch (const std::exception&) {
            // A damaged later data set ends the chain; the earlier ones stay.
            break;
        }
    }
    if (!readValues) return;
    dataset[0]->LoadValues(pool);
    for (size_t i = 1; i < dataset.size(); ++i) {
        try {
            dataset[i]->LoadValues(pool);
        } catch (const std::exception&) {
            dataset.resize(i);
            break;
        }
    }
}

}  // namespace orvala
