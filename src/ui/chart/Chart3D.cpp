#include "Chart3D.h"

#include <QHBoxLayout>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QtDataVisualization/Q3DCamera>
#include <QtDataVisualization/Q3DScatter>
#include <QtDataVisualization/Q3DScene>
#include <QtDataVisualization/Q3DTheme>
#include <QtDataVisualization/QScatter3DSeries>
#include <QtDataVisualization/QScatterDataProxy>
#include <QtDataVisualization/QValue3DAxis>
#include <algorithm>

namespace orvala {

namespace {

QValue3DAxis* makeAxis(const QString& title)
{
    auto* a = new QValue3DAxis;
    a->setTitle(title);
    a->setTitleVisible(true);
    a->setLabelFormat(QStringLiteral("%.3g"));
    return a;
}

// A small margin so that points on the extremes are not cut by the walls;
// a flat axis gets a unit range.
void setRange(QValue3DAxis* a, double lo, double hi)
{
    if (!(hi > lo)) {
        lo -= 0.5;
        hi += 0.5;
    }
    const double m = (hi - lo) * 0.02;
    a->setRange(float(lo - m), float(hi + m));
}

}  // namespace

bool Chart3D::available()
{
    QOpenGLContext context;
    if (!context.create()) return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid()) return false;
    const bool ok = context.makeCurrent(&surface);
    if (ok) context.doneCurrent();
    return ok;
}

Chart3D::Chart3D(QWidget* parent) : QWidget(parent)
{
    graph_ = new Q3DScatter;
    graph_->setAxisX(makeAxis(QStringLiteral("X")));
    graph_->setAxisY(makeAxis(QStringLiteral("Y")));
    graph_->setAxisZ(makeAxis(QStringLiteral("Z")));
    // A million points turn fluently only when they are drawn as one static
    // batch without shadows; points are picked by nobody.
    graph_->setOptimizationHints(QAbstract3DGraph::OptimizationStatic);
    graph_->setShadowQuality(QAbstract3DGraph::ShadowQualityNone);
    graph_->setSelectionMode(QAbstract3DGraph::SelectionNone);
    graph_->activeTheme()->setType(Q3DTheme::ThemeQt);
    graph_->activeTheme()->setBackgroundColor(Qt::white);
    graph_->activeTheme()->setWindowColor(Qt::white);
    graph_->scene()->activeCamera()->setCameraPreset(Q3DCamera::CameraPresetIsometricRight);
    container_ = QWidget::createWindowContainer(graph_, this);
    container_->setMinimumSize(200, 200);
    container_->setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(container_);
}

Chart3D::~Chart3D() = default;  // the container owns the graph window

void Chart3D::setAxisTitles(const QString& x, const QString& y, const QString& z)
{
    graph_->axisX()->setTitle(x);
    graph_->axisY()->setTitle(y);
    graph_->axisZ()->setTitle(z);
}

QString Chart3D::axisTitle(int axis) const
{
    switch (axis) {
    case 0: return graph_->axisX()->title();
    case 1: return graph_->axisY()->title();
    case 2: return graph_->axisZ()->title();
    default: return {};
    }
}

void Chart3D::setPoints(const Scatter3DPoints& points)
{
    for (QScatter3DSeries* s : graph_->seriesList()) {
        graph_->removeSeries(s);
        delete s;
    }
    for (const Scatter3DGroup& g : points.groups) {
        auto* array = new QScatterDataArray;
        array->resize(g.count());
        for (int k = 0; k < g.count(); ++k) {
            const float* p = g.xyz.data() + size_t(k) * 3;
            (*array)[k].setPosition(QVector3D(p[0], p[1], p[2]));
        }
        auto* proxy = new QScatterDataProxy;
        proxy->resetArray(array);
        auto* series = new QScatter3DSeries(proxy);
        series->setMesh(QAbstract3DSeries::MeshPoint);
        series->setItemSize(markSize_);
        series->setColorStyle(Q3DTheme::ColorStyleUniform);
        // 0x00BBGGRR as the data model keeps colours.
        series->setBaseColor(QColor(int(g.color & 0xFF), int((g.color >> 8) & 0xFF), int((g.color >> 16) & 0xFF)));
        graph_->addSeries(series);
    }
    setRange(graph_->axisX(), points.lo[0], points.hi[0]);
    setRange(graph_->axisY(), points.lo[1], points.hi[1]);
    setRange(graph_->axisZ(), points.lo[2], points.hi[2]);
}

int Chart3D::seriesCount() const { return int(graph_->seriesList().size()); }

int Chart3D::pointCount() const
{
    int n = 0;
    for (QScatter3DSeries* s : graph_->seriesList()) n += s->dataProxy()->itemCount();
    return n;
}

void Chart3D::setMarkSize(float size)
{
    markSize_ = size;
    for (QScatter3DSeries* s : graph_->seriesList()) s->setItemSize(size);
}

void Chart3D::setRotation(float horizontal, float vertical)
{
    graph_->scene()->activeCamera()->setCameraPosition(horizontal, vertical, zoom());
}

float Chart3D::horizontalRotation() const { return graph_->scene()->activeCamera()->xRotation(); }
float Chart3D::verticalRotation() const { return graph_->scene()->activeCamera()->yRotation(); }

void Chart3D::setZoom(float percent) { graph_->scene()->activeCamera()->setZoomLevel(std::clamp(percent, 10.0f, 500.0f)); }

float Chart3D::zoom() const { return graph_->scene()->activeCamera()->zoomLevel(); }

QImage Chart3D::grab3D() { return graph_->renderToImage(0, container_->size()); }

}  // namespace orvala
