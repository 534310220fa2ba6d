// TData::Create(filename, datasetnum) and TryOpen: the choice of reader by
// extension, and the data set built from an FCS data set.
#include <cmath>
#include <filesystem>
#include <memory>

#include "FcsOpen.h"
#include "ReaderPool.h"
#include "TFCStream.h"
#include "TextLogOpen.h"
#include "core/TPreText.h"

namespace orvala {

namespace {

std::string lowerCase(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Fills d from data set k of the stream; throws on errors of the data set.
void fillFromDataSet(TData* d, TFCStream& stream, int k, TMultiThread* pool)
{
    TDataSet* ds = stream.DataSet(k);
    if (!ds || !ds->Text || ds->ParCount() <= 0) return;
    const int cols = ds->ParCount();
    d->setCaseSize(cols);
    ds->ReadValues(d->data, pool);
    if (d->data.cols() != cols) throw OrvalaError("Error reading a dataset");
    d->setEvents(d->data.rows());
    ds->BuildResult(d->data, pool);

    const TText& t = *ds->Text;
    for (int i = 0; i < cols; ++i) {
        TParDescriptor& desc = d->Desc()[size_t(i)];
        desc.name = ColumnName(t, i);
        desc.resolution = double(t.pars[size_t(i)].resolution);
        desc.log = ds->LogScale(i);
        desc.decade = t.pars[size_t(i)].decade;
        desc.base = t.pars[size_t(i)].intersect;
    }
    d->PrizmIndex = -1;
    for (int i = 0; i < cols; ++i)
        if (d->Desc()[size_t(i)].name == "PRISM") d->PrizmIndex = i;
    if (d->PrizmIndex >= 0)
        for (int e = 0; e < d->events(); ++e) {
            double& v = d->data[e][d->PrizmIndex];
            const double r = std::nearbyint(v);
            v = std::fabs(r) < 9.0e18 ? double(int64_t(r) & 63) : 0.0;
        }
    ds->ReleaseSource();
    d->dataset = stream.TakeDataSet(k);
}

TData* newFileData(const std::string& filename, int datasetnum)
{
    auto* d = new TData;
    d->setFileName(filename);
    d->datasetnum = datasetnum;
    return d;
}

// Data set k of the stream as a TData, or nil when it has no events or fails.
TData* tryFromStream(TFCStream& stream, const std::string& name, int k, MessageSink& sink, TMultiThread* pool)
{
    std::unique_ptr<TData> d(newFileData(name, k));
    try {
        fillFromDataSet(d.get(), stream, k, pool);
    } catch (const std::exception&) {
        sink.message("Error reading file " + name);
        return nullptr;
    }
    return d->events() > 0 ? d.release() : nullptr;
}

}  // namespace

TData* CreateFromStream(TFCStream& stream, const std::string& name, int datasetnum, MessageSink& sink,
                        TMultiThread* pool)
{
    TData* d = newFileData(name, datasetnum);
    if (stream.badfile || datasetnum < 0 || datasetnum >= stream.Count()) return d;
    if (const TDataSet* ds = stream.DataSet(datasetnum); ds && ds->Text && ds->Text->KeyIndex("$DATATYPE") < 0) {
        // Without $DATATYPE there is nothing to read; say so rather than open nothing in silence.
        sink.message("File " + name + " has no readable TEXT segment ($DATATYPE is missing)");
        return d;
    }
    try {
        fillFromDataSet(d, stream, datasetnum, pool);
    } catch (const std::exception&) {
        sink.message("Error reading file " + name);
        d->setEvents(0);
        return d;
    }
    if (d->events() == 0) return d;
    // The rest of the file's chain, each as TryOpen would give it: the chain ends
    // at the first data set without events.
    TData* last = d;
    for (int k = datasetnum + 1; k < stream.Count(); ++k) {
        TData* next = tryFromStream(stream, name, k, sink, pool);
        if (!next) break;
        last->NextData = next;
        last = next;
    }
    return d;
}

TData* CreateFromFile(const std::string& filename, int datasetnum, MessageSink& sink, TMultiThread* pool)
{
    TData* probe = newFileData(filename, datasetnum);
    std::string ext = lowerCase(probe->Extension());
    // Mail systems append ".a" to attachments: x.fcs.a counts as .fcs.
    if (ext == ".a") ext = lowerCase(std::filesystem::path(probe->ShortName()).extension().string());
    if (ext == ".log" || ext == ".txt") {
        delete probe;
        TData* d = CreateFromTextOrLog(filename, readOptions(), pool);
        d->datasetnum = datasetnum;
        return d;
    }
    delete probe;

    std::unique_ptr<TFCStream> stream;
    try {
        stream = std::make_unique<TFCStream>(filename, false, sink, pool);
    } catch (const std::exception&) {
        sink.message("Error reading file " + filename);
        return newFileData(filename, datasetnum);
    }
    return CreateFromStream(*stream, filename, datasetnum, sink, pool);
}

TData* TryOpenFile(const std::string& filename, int datasetnum, MessageSink& sink, TMultiThread* pool)
{
    TData* d = CreateFromFile(filename, datasetnum, sink, pool);
    if (d->events() > 0) return d;
    delete d;
    return nullptr;
}

TData* TData::Create(const std::string& filename, int datasetnum)
{
    return CreateFromFile(filename, datasetnum, defaultSink(), readerPool());
}

TData* TData::TryOpen(const std::string& filename, int datasetnum)
{
    return TryOpenFile(filename, datasetnum, defaultSink(), readerPool());
}

}  // namespace orvala
