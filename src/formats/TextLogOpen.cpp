#include "TextLogOpen.h"

#include <cctype>
#include <filesystem>
#include <memory>

#include "ByteSource.h"
#include "ChannelLogReader.h"
#include "ConverterTextReader.h"
#include "DelimitedTextReader.h"
#include "IqspLogReader.h"
#include "core/Messages.h"

namespace orvala {

namespace {

std::string lowerCase(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string ReaderExtension(const std::string& filename)
{
    const std::filesystem::path path(filename);
    std::string ext = lowerCase(path.extension().string());
    if (ext == ".a") ext = lowerCase(path.stem().extension().string());
    return ext;
}

bool NeedsTextFormat(const std::string& filename)
{
    if (ReaderExtension(filename) != ".txt") return false;
    const std::unique_ptr<ByteSource> source = openFileSource(filename);
    return source && !ConverterTextReader::Recognizes(*source);
}

void ReadTextOrLog(const ByteSource& source, const std::string& ext, const std::string& name,
                   const ReadOptions& options, TData& d, TMultiThread* pool)
{
    if (ext == ".log") {
        if (IqspLogReader::HasSignature(source))
            IqspLogReader::Read(source, name, d, pool);
        else
            ChannelLogReader::Read(source, name, options.EventLimit, d, pool);
    } else if (ext == ".txt") {
        if (ConverterTextReader::Recognizes(source))
            ConverterTextReader::Read(source, name, options.EventLimit, d, pool);
        else
            DelimitedTextReader::Read(source, name, options.Text, options.EventLimit, d, pool);
    }
}

TData* CreateFromTextOrLog(const std::string& filename, const ReadOptions& options, TMultiThread* pool)
{
    std::unique_ptr<TData> d(new TData);
    d->setFileName(filename);
    const std::unique_ptr<ByteSource> source = openFileSource(filename);
    if (!source) throw OrvalaError("Cannot open file " + filename);
    ReadTextOrLog(*source, ReaderExtension(filename), filename, options, *d, pool);
    return d.release();
}

}  // namespace orvala
