#pragma once
// The worker pools the file readers split their bulk work over. A pool runs
// one job at a time for one owner, so the readers never share the program's
// pool (a redraw started meanwhile would stop their run), and each thread that
// reads gets a pool of its own: two files read at once never share a run.
namespace orvala {

class TMultiThread;

// Never null: the installed pool, else the calling thread's own reader pool
// (made on first use, ended with the thread).
TMultiThread* readerPool();
// Installs the pool readers use on every thread (nullptr: back to each thread's
// own); returns the previous one. For programs that read on one thread only.
TMultiThread* setReaderPool(TMultiThread* pool);

}  // namespace orvala
