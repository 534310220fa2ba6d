#pragma once
// "distr": the histogram of every value of a data set (all events and
// parameters together), one bar series per data set shown.
#include "ui/chart/ChartWindow.h"

namespace orvala {

class TData;

class DistributionWindow : public ChartWindow {
    Q_OBJECT
public:
    explicit DistributionWindow(QWidget* parent = nullptr);

    // Adds the bars of data's distribution (non-finite values left out).
    void Add(const TData& data);
};

}  // namespace orvala
