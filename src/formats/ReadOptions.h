#pragma once
// What the text and log readers need to know beyond the file: the event limit
// of the options window and the layout the user gave for generic delimited text.
// Plain values: the user interface fills them, the readers only read them.
namespace orvala {

// The "File Format" choices for a delimited text table.
struct TextFormat {
    bool parnam = false;   // the first row read holds the parameter names
    bool evetnam = false;  // the first column holds the event names
    bool Space = false;
    bool Tab = true;
    bool Comma = false;
    bool Colon = false;
    int Line = 1;  // 1-based line the table starts on
};

struct ReadOptions {
    // At most this many events where a reader applies a limit; 0 or less: none.
    int EventLimit = 0;
    TextFormat Text;
};

// The options TData::Create and TryOpen read with. The user interface sets
// them before it opens a file; the copy is taken under a lock, so a reader on
// another thread sees either the old or the new options, never a mixture.
ReadOptions readOptions();
void setReadOptions(const ReadOptions& options);

}  // namespace orvala
