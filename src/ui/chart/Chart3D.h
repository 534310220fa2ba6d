#pragma once
// The chart's 3-D view: a point series with x, y, z per point, shown in a
// box with three value axes that the user turns with the right mouse button
// (or the left one) and zooms with the wheel. Drawn with OpenGL by Qt Data
// Visualization; points of one colour form one series, so the data arrive
// grouped by colour (see plot/Scatter3D.h).
#include <QString>
#include <QWidget>

#include "plot/Scatter3D.h"

class Q3DScatter;

namespace orvala {

class Chart3D : public QWidget {
    Q_OBJECT
public:
    explicit Chart3D(QWidget* parent = nullptr);
    ~Chart3D() override;

    // True when an OpenGL context can be made on this display; without one
    // (the offscreen platform, a server without GLX) the view cannot exist.
    static bool available();

    void setAxisTitles(const QString& x, const QString& y, const QString& z);
    QString axisTitle(int axis) const;  // 0 x, 1 y, 2 z
    // Replaces every point: one series per colour group, ranges from the points.
    void setPoints(const Scatter3DPoints& points);
    int seriesCount() const;
    int pointCount() const;
    // Pixel size of the marks (scaled by the graph to the box).
    void setMarkSize(float size);
    // The view's rotation in degrees and its zoom in percent.
    void setRotation(float horizontal, float vertical);
    float horizontalRotation() const;
    float verticalRotation() const;
    void setZoom(float percent);
    float zoom() const;
    // The view as a picture (for screenshots and export).
    QImage grab3D();

private:
    Q3DScatter* graph_ = nullptr;
    QWidget* container_ = nullptr;
    float markSize_ = 0.02f;
};

}  // namespace orvala
