#pragma once
// The worker pool the file readers split their bulk work over. The main window
// installs the program's pool; without one a pool is made on first use.
namespace orvala {

class TMultiThread;

// Never null.
TMultiThread* readerPool();
// Installs the pool readers use (nullptr: go back to the readers' own); returns the previous one.
TMultiThread* setReaderPool(TMultiThread* pool);

}  // namespace orvala
