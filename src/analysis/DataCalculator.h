#pragma once
// The data calculator: a copy of one data set with the mean spectrum of
// another subtracted from, or added to, every event (a background removed
// from a sample, for example).
#include <string>

namespace orvala {

class TData;
class TMultiThread;

enum class CalcOperator { Subtract, Add };

// The operator of the "-" and "+" items; throws OrvalaError for other text.
CalcOperator CalcOperatorOf(const std::string& text);

// A new top-level data set (reference count 0) named name: a full copy of a
// (events, names, colours) in which parameter j of every event, for j below
// the smaller parameter count of a and b, has b's mean m_j (Average over all
// of b's events, corrected when b's Compensate is set) subtracted or added;
// further parameters of a are copied unchanged. Non-finite values stay
// non-finite. Throws OrvalaError naming b when b has no events (there is no
// mean to apply) and when the copy of a cannot be made.
TData* DataCalculate(TData& a, TData& b, CalcOperator op, const std::string& name, TMultiThread* pool = nullptr);

}  // namespace orvala
