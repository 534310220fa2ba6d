#pragma once
// "Quick View": a small stay-on-top window showing single events as lines,
// one series per event shown, so several events can be compared.
#include <QWidget>
#include <vector>

#include "core/TData.h"

namespace orvala {

class Chart;

class QuickView : public QWidget {
    Q_OBJECT
public:
    explicit QuickView(QWidget* parent = nullptr);
    // The program's shared instance, made on first use and only ever hidden.
    static QuickView* shared();

    // Caption "Event #  " + eventnum; adds the points (i, values[i]) in acolor.
    void Showme(const std::vector<double>& values, TColor acolor, int eventnum);
    void Clear();
    Chart* chart() const { return chart_; }

protected:
    void hideEvent(QHideEvent* e) override;

private:
    Chart* chart_ = nullptr;
};

}  // namespace orvala
