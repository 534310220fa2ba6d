#pragma once
// The window "Open Plate" shows: the plate data set's wells in a 96- or
// 384-well view, wells holding events in colour, with the selected wells'
// event count beside it.
#include <QWidget>

#include "core/TData.h"

class QComboBox;
class QLabel;

namespace orvala {

class WellPlateView;

class PlateWindow : public QWidget {
    Q_OBJECT
public:
    // Holds one reference on plate while it lives.
    explicit PlateWindow(TData* plate, QWidget* parent = nullptr);

    WellPlateView* plateView() const { return view_; }
    TData* plate() const { return plate_.get(); }
    // The events of the selected wells that hold data.
    int selectedEvents() const;
    QString summary() const;

protected:
    bool event(QEvent* e) override;

private:
    void showWells();
    void updateSummary();
    DataRef plate_;
    WellPlateView* view_ = nullptr;
    QComboBox* type_ = nullptr;
    QLabel* info_ = nullptr;
    QLabel* hover_ = nullptr;
};

}  // namespace orvala
