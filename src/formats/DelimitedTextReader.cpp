#include "DelimitedTextReader.h"

#include <vector>

#include "ByteSource.h"
#include "TextTable.h"
#include "core/TData.h"

namespace orvala {

void DelimitedTextReader::Read(const ByteSource& source, const std::string& name, const TextFormat& format,
                               int eventLimit, TData& d, TMultiThread* pool)
{
    d.setEvents(0);
    d.setCaseSize(0);
    d.Eventnames.clear();
    TextTable::Rule rule;
    rule.delimiters[' '] = format.Space;
    rule.delimiters['\t'] = format.Tab;
    rule.delimiters[','] = format.Comma;
    rule.delimiters[':'] = format.Colon;

    TextTable::LineReader lines(source);
    std::string line;
    for (int skip = 1; skip < format.Line; ++skip)
        if (!lines.Next(line)) return;

    std::vector<std::string_view> fields;
    std::vector<std::string> names;
    int64_t dataStart = 0, dataLine = 0;
    if (format.parnam) {
        if (!lines.Next(line)) return;
        TextTable::Split(line, rule.delimiters, fields);
        // With event names the first names field heads the name column.
        const size_t skip = format.evetnam && !fields.empty() ? 1 : 0;
        for (size_t i = skip; i < fields.size(); ++i) names.emplace_back(fields[i]);
        dataStart = lines.Position();
        dataLine = lines.LineNumber() + 1;
    } else {
        // The first line with fields sets the row length and is the first data line.
        do {
            if (!lines.Next(line)) return;
            TextTable::Split(line, rule.delimiters, fields);
        } while (fields.empty());
        dataStart = lines.LineStart();
        dataLine = lines.LineNumber();
    }
    const int L = int(fields.size());
    const int cases = format.evetnam ? L - 1 : L;
    if (cases <= 0) return;
    d.setCaseSize(cases);  // unnamed columns keep Ch1, Ch2 ...
    for (size_t i = 0; i < names.size(); ++i) d.Desc()[i].name = names[i];

    rule.exactFields = true;
    rule.fieldCount = L;
    rule.eventNames = format.evetnam;
    rule.firstValue = format.evetnam ? 1 : 0;
    rule.cases = cases;
    rule.eventLimit = eventLimit;
    TextTable::ReadLines(source, dataStart, dataLine, rule, name, d, pool);
}

}  // namespace orvala
