#pragma once
// What the delimited text readers share: cutting lines into fields, numbers
// with "." as decimal point whatever the locale, and reading the data lines of
// a table in parallel blocks.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvala {

class ByteSource;
class TData;
class TMultiThread;

class TextTable {
public:
    using Delimiters = std::array<bool, 256>;

    // Cuts line into fields at every delimiter; a run of delimiters is one
    // separator and delimiters at the ends give nothing, so no field is empty.
    static void Split(std::string_view line, const Delimiters& delimiters, std::vector<std::string_view>& fields);
    // The field as a number: "." is the decimal point, blanks around it and a
    // leading "+" are allowed, magnitudes beyond the double range become
    // infinities or zeros. False when the field is not a number.
    static bool ParseNumber(std::string_view field, double& value);
    // The quick path of ParseNumber for the plain decimals most tables hold: a
    // sign, digits with at most one ".", an optional exponent. Gives the end of
    // the number at begin and its value when one correctly rounded operation
    // yields it (at most 19 digits, mantissa up to 2^53, power of ten within
    // +-22), so the value is the one ParseNumber gives; nullptr otherwise,
    // leaving the text to ParseNumber. Reads nothing at or past end.
    static const char* ParsePlainDecimal(const char* begin, const char* end, double& value);

    // Lines of the head of a file, read one at a time (LF or CR LF endings).
    class LineReader {
    public:
        explicit LineReader(const ByteSource& source) : source_(source) {}
        // The next line without its ending; false at the end of the file.
        bool Next(std::string& line);
        int64_t LineStart() const { return lineStart_; }  // offset of the line Next gave
        int64_t Position() const { return position_; }    // offset after it
        int64_t LineNumber() const { return lineNumber_; }  // 1-based number of that line

    private:
        const ByteSource& source_;
        std::vector<char> buf_;
        size_t bufPos_ = 0;
        int64_t bufStart_ = 0;
        int64_t lineStart_ = 0;
        int64_t position_ = 0;
        int64_t lineNumber_ = 0;
    };

    // How the data lines of a table become events.
    struct Rule {
        Delimiters delimiters{};
        // True: a line is an event only with exactly fieldCount fields;
        // false: any line with at least one field is.
        bool exactFields = false;
        int fieldCount = 0;
        bool eventNames = false;  // field 0 names the event
        int firstValue = 0;       // field of parameter 0
        int cases = 0;            // parameters; a line fills at most this many
        int eventLimit = 0;       // at most this many events; 0 or less: no limit
    };

    // Reads the lines from offset (whose first is line firstLine, 1-based) to
    // the end of the file or the event limit into d, which must have
    // rule.cases parameters: values, Eventnames when rule.eventNames, events.
    // A line holding "MAX", "MIN" or "ERR" among the values it gives is no
    // event; parameters a line does not reach are 0. Throws OrvalaError naming
    // the file and line when a value is not a number or the file cannot be read.
    static void ReadLines(const ByteSource& source, int64_t offset, int64_t firstLine, const Rule& rule,
                          const std::string& name, TData& d, TMultiThread* pool);
};

}  // namespace orvala
