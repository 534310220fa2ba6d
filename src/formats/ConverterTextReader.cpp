#include "ConverterTextReader.h"

#include <vector>

#include "ByteSource.h"
#include "TextTable.h"
#include "core/TData.h"

namespace orvala {

namespace {

constexpr char Title[] = "iQSP Logfile to Textfile Converter";
constexpr int HeadingLine = 20;
constexpr int LeadingFields = 5;  // columns before the first parameter

const char* const RingNames[6] = {"Ring B", "Ring C", "Ring D", "Ring E", "All Blue", "SS"};

}  // namespace

bool ConverterTextReader::Recognizes(const ByteSource& source)
{
    TextTable::LineReader lines(source);
    std::string first;
    return lines.Next(first) && first == Title;
}

void ConverterTextReader::Read(const ByteSource& source, const std::string& name, int eventLimit, TData& d,
                               TMultiThread* pool)
{
    d.setEvents(0);
    d.setCaseSize(0);
    TextTable::LineReader lines(source);
    std::string line;
    while (lines.LineNumber() < HeadingLine)
        if (!lines.Next(line)) return;

    TextTable::Rule rule;
    rule.delimiters['\t'] = true;
    std::vector<std::string_view> headings;
    TextTable::Split(line, rule.delimiters, headings);
    const int cases = int(headings.size()) - LeadingFields;
    if (cases <= 0) return;
    d.setCaseSize(cases);
    for (int i = 0; i < cases; ++i) d.Desc()[size_t(i)].name = std::string(headings[size_t(i + LeadingFields)]);
    if (cases >= 38)
        for (int i = 0; i < 6; ++i) d.Desc()[size_t(32 + i)].name = RingNames[i];

    rule.exactFields = false;
    rule.firstValue = LeadingFields;
    rule.cases = cases;
    rule.eventLimit = eventLimit;
    TextTable::ReadLines(source, lines.Position(), HeadingLine + 1, rule, name, d, pool);
}

}  // namespace orvala
