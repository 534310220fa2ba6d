#pragma once
// The 2-D plot window: one data set as a scatter plot (one dot per event in
// the event's colour) or, with no y direction, as histograms; polygon gates
// drawn on it create gated children, whose gates are drawn back as contours.
#include <QWidget>
#include <memory>
#include <vector>

#include "core/TData.h"
#include "numerics/Matrices.h"
#include "ui/chart/Chart.h"

namespace orvala {

class GateTool;
class TMultiThread;
class TPlotCon;

class TScatterProform : public QWidget {
    Q_OBJECT
public:
    using ScaleFn = double (*)(double);

    // Takes one reference to adata (may be null). Nothing is drawn until DrawData.
    explicit TScatterProform(TData* adata, TMultiThread* pool = nullptr, QWidget* parent = nullptr);
    ~TScatterProform() override;

    // Axis directions from the ticked entries, each normalised to length 1.
    virtual void BuildAxisVectors();
    // Rebuilds the whole chart from the data set and the panel.
    virtual void DrawData();
    // Makes a polygon gate from a contour and derives the gated child.
    void SubData(Chart::SeriesId contour);
    // Ticks x entry nx only and, when ny differs, y entry ny (equal indices: histogram).
    void SetXY(int nx, int ny);
    // Density colouring while the density button is down, else the event colours.
    void SetColors();
    // Draws the gates of the children that lie in the plane of the current axes.
    void DrawGateContours();
    // Shows or hides the two range markers; shown at a quarter and three
    // quarters of the visible bottom range.
    void markersClick();
    bool markersVisible() const { return mark1_ >= 0; }
    void setMarkerPositions(double x1, double x2);
    // Range gate between the markers on the current x direction; bounds are
    // stored in raw projection values (the x scale undone). Nothing without markers.
    void OneDGateClick();
    // "Paint Points": runs the dialog; on OK paints and announces.
    void ColorPointsClick();
    // Paints events from..to (1-based, inclusive) when 1 <= from <= to <= events,
    // then announces even when the range was refused. Throws OrvalaError for
    // text that is not an integer (nothing painted, nothing announced).
    void PaintPoints(const QString& from, const QString& to, TColor color);
    // Annotation text of the child gated by contour; empty when none.
    QString gateStatistics(Chart::SeriesId contour) const;

    Chart* chart() const { return chart_; }
    TPlotCon* Control = nullptr;
    GateTool* gateTool() const { return gateTool_.get(); }
    TData* data() const { return data_.get(); }
    Chart::SeriesId serdat = Chart::NoSeries;
    TVector xvector, yvector;
    ScaleFn ConvertX, ConvertY, ConvertBackX, ConvertBackY;
    int datamodified = 0;
    // How many times DrawData rebuilt the chart (for the coalescing of notices).
    int drawCount() const { return drawCount_; }

protected:
    bool event(QEvent* e) override;

private:
    void regate(Chart::SeriesId contour);
    void showPointer(bool on);
    void fixRange(ChartAxis axis, const std::vector<double>& v);
    void mouseOver(TData* d);
    void closeWindow();
    TData* childOfContour(Chart::SeriesId contour) const;

    Chart* chart_ = nullptr;
    std::unique_ptr<GateTool> gateTool_;
    DataRef data_;
    TMultiThread* pool_ = nullptr;
    std::vector<double> px_, py_;  // plotted coordinates of the events
    int drawCount_ = 0;
    int mark1_ = -1, mark2_ = -1;
};

// 0x00BBGGRR of the data model <-> Qt colours.
QColor toQColor(TColor c);
TColor fromQColor(const QColor& c);

}  // namespace orvala
