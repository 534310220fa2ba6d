#pragma once
// The 3-D view of a data set: the events along three chosen parameters as a
// rotating point cloud in the events' colours. Opened from the 2-D plot
// window with its two plotted directions and the next parameter as the third.
#include <QWidget>

#include "core/TData.h"
#include "numerics/Matrices.h"

class QComboBox;
class QLabel;

namespace orvala {

class Chart3D;
class TMultiThread;

class Scatter3DWindow : public QWidget {
    Q_OBJECT
public:
    // Takes a use reference on adata. The axes start at the parameters that
    // weigh most in x and y and the first other parameter for z.
    Scatter3DWindow(TData* adata, const TVector& x, const TVector& y, TMultiThread* pool = nullptr,
                    QWidget* parent = nullptr);

    // Reads the three axis boxes and draws the points again.
    void Draw();
    Chart3D* chart() const { return chart_; }
    TData* data() const { return data_.get(); }
    QComboBox* axis[3] = {nullptr, nullptr, nullptr};
    QLabel* status = nullptr;

protected:
    bool event(QEvent* e) override;

private:
    DataRef data_;
    TMultiThread* pool_ = nullptr;
    Chart3D* chart_ = nullptr;
    int datamodified = 0;
};

// Opens the 3-D view of plot as a window beside it (an MDI child when the
// plot is one). Shows a message instead when this display has no OpenGL.
QWidget* openScatter3D(QWidget* plotWindow, TData* data, const TVector& x, const TVector& y, TMultiThread* pool);

}  // namespace orvala
