#include "ui/chart/GateTool.h"

#include <QMouseEvent>
#include <QRandomGenerator>
#include <algorithm>

namespace orvala {

std::vector<DPoint> seriesPoints(const Chart& chart, Chart::SeriesId id)
{
    const std::vector<double> x = chart.xValues(id), y = chart.yValues(id);
    std::vector<DPoint> pts(x.size());
    for (size_t i = 0; i < pts.size(); ++i)
        pts[i] = {x[i], y[i]};
    return pts;
}

void setSeriesPoints(Chart& chart, Chart::SeriesId id, const std::vector<DPoint>& pts)
{
    std::vector<double> x(pts.size()), y(pts.size());
    for (size_t i = 0; i < pts.size(); ++i) {
        x[i] = pts[i].x;
        y[i] = pts[i].y;
    }
    chart.setPoints(id, x, y);
}

// --- TeeSelectPolygon ---

TeeSelectPolygon::TeeSelectPolygon(Chart* img, Chart::SeriesId ser)
    : Parent(img), ser_(ser), map_(img), pts_(seriesPoints(*img, ser)), Pgon(pts_, map_)
{
    chartzoom = Parent->zoomEnabled();
    Panning = Parent->panEnabled();
    Parent->setZoomEnabled(false);
    Parent->setPanEnabled(false);
}

TeeSelectPolygon::~TeeSelectPolygon()
{
    if (!Parent)
        return;
    Parent->setZoomEnabled(chartzoom);
    Parent->setPanEnabled(Panning);
}

void TeeSelectPolygon::load()
{
    pts_ = seriesPoints(*Parent, ser_);
}

void TeeSelectPolygon::store()
{
    setSeriesPoints(*Parent, ser_, pts_);
}

bool TeeSelectPolygon::IsIn(double x, double y)
{
    load();
    return Pgon.IsIn(x, y);
}

void TeeSelectPolygon::MouseDown(Qt::MouseButton button, QPointF pos)
{
    load();
    mx = pos.x();
    my = pos.y();
    if (button == Qt::LeftButton) {
        Moving = true;
        MovingVertex = Pgon.VertexUnderMouse(mx, my);
    } else if (button == Qt::RightButton) {
        Pgon.StartRotation(mx, my);
        Rotating = true;
    }
}

void TeeSelectPolygon::MouseMove(QPointF pos)
{
    dmx = pos.x() - mx;
    dmy = pos.y() - my;
    mx = pos.x();
    my = pos.y();
    if (Rotating) {
        Pgon.Rotate(mx, my);
        store();
    } else if (Moving) {
        if (MovingVertex < 0)
            Pgon.Moveby(dmx, dmy);
        else
            Pgon.MoveVertexby(MovingVertex, dmx, dmy);
        store();
    }
}

void TeeSelectPolygon::MouseUp()
{
    Moving = false;
    Rotating = false;
}

// --- GateTool ---

GateTool::GateTool(Chart* aChart, QObject* parent) : QObject(parent)
{
    setChart(aChart);
}

GateTool::~GateTool()
{
    setChart(nullptr);
}

void GateTool::setChart(Chart* chart)
{
    // Handlers of other parties stay connected; the tool's own come after
    // those connected before it, as the chart's saved handlers ran first.
    PolygonTool.reset();
    ActiveContours.clear();
    for (const auto& c : connections_)
        disconnect(c);
    connections_.clear();
    fChart = chart;
    if (!fChart)
        return;
    connections_ << connect(fChart, &Chart::mouseDown, this, &GateTool::mouseDown);
    connections_ << connect(fChart, &Chart::mouseMoved, this, &GateTool::mouseMove);
    connections_ << connect(fChart, &Chart::mouseUp, this, &GateTool::mouseUp);
    connections_ << connect(fChart, &QObject::destroyed, this, [this] {
        fChart = nullptr;
        if (PolygonTool)
            PolygonTool->Parent = nullptr;  // its chart is gone; nothing to restore
        PolygonTool.reset();
        connections_.clear();
    });
}

void GateTool::setGenesis(bool v)
{
    fGenesis = v;
    if (!fChart)
        return;
    if (v) {
        chartcursor = fChart->canvasCursor();
        fChart->setCanvasCursor(Qt::PointingHandCursor);
    } else {
        fChart->setCanvasCursor(chartcursor);
    }
}

Chart::SeriesId GateTool::CreateContour()
{
    const Chart::SeriesId s = fChart->addLineSeries({}, Qt::black, 2);
    fChart->setSeriesIdentifier(s, GateIdentifier);
    fChart->setVertexMarkers(s, true, 6);
    return s;
}

void GateTool::Clear()
{
    PolygonTool.reset();
    ActiveContours.clear();
}

void GateTool::DeleteContours()
{
    Clear();
    for (int i = ContourCount() - 1; i >= 0; --i)
        fChart->removeSeries(Contours(i));
}

void GateTool::EndContourDrawing()
{
    if (!fChart)
        return;
    fChart->redraw();
    reevaluate(QPointF(mousex, mousey));
}

int GateTool::ContourCount() const
{
    if (!fChart)
        return 0;
    int n = 0;
    for (int i = 0; i < fChart->seriesCount(); ++i)
        n += isContour(fChart->seriesAt(i));
    return n;
}

Chart::SeriesId GateTool::Contours(int i) const
{
    for (int k = 0; k < fChart->seriesCount(); ++k) {
        const Chart::SeriesId s = fChart->seriesAt(k);
        if (isContour(s) && i-- == 0)
            return s;
    }
    return Chart::NoSeries;
}

bool GateTool::isContour(Chart::SeriesId id) const
{
    return fChart && fChart->hasSeries(id) && fChart->seriesIdentifier(id) == GateIdentifier;
}

Chart::SeriesId GateTool::selectedContour() const
{
    return ActiveContours.empty() ? Chart::NoSeries : ActiveContours.back();
}

bool GateTool::ContourHit(double x, double y, Chart::SeriesId contour) const
{
    const ChartAxisMapper map(fChart);
    return orvala::ContourHit(x, y, seriesPoints(*fChart, contour), map);
}

void GateTool::mouseDown(QMouseEvent* e)
{
    if (Disable || !fChart)
        return;
    buttondown = true;
    if (fGenesis) {
        DrawingGate = true;
        if (Contour == Chart::NoSeries) {
            fChart->setZoomEnabled(false);
            Contour = CreateContour();
            auto* rng = QRandomGenerator::global();
            fChart->setSeriesColor(Contour, QColor::fromHsvF(float(rng->generateDouble()),
                                                             float(0.5 + 0.5 * rng->generateDouble()), 1.0f));
        }
        if (e->button() == Qt::LeftButton) {
            std::vector<DPoint> pts = seriesPoints(*fChart, Contour);
            ContourBuilder::addVertex(pts, fChart->pixelToValue(ChartAxis::Bottom, e->position().x()),
                                      fChart->pixelToValue(ChartAxis::Left, e->position().y()));
            setSeriesPoints(*fChart, Contour, pts);
        }
        return;
    }
    if (PolygonTool) {
        LastTag = PolygonTool->Tag();
        ActiveContours.clear();
        PolygonTool->MouseDown(e->button(), e->position());
    }
}

void GateTool::mouseMove(QMouseEvent* e)
{
    if (Disable || !fChart)
        return;
    const QPoint pos = e->position().toPoint();
    if (pos.x() == mousex && pos.y() == mousey)
        return;
    mousex = pos.x();
    mousey = pos.y();
    if (DrawingGate) {
        const int n = fChart->pointCount(Contour);
        if (n > 1) {
            std::vector<DPoint> pts = seriesPoints(*fChart, Contour);
            ContourBuilder::follow(pts, fChart->pixelToValue(ChartAxis::Bottom, e->position().x()),
                                   fChart->pixelToValue(ChartAxis::Left, e->position().y()));
            setSeriesPoints(*fChart, Contour, pts);
            // Rubber line from the last fixed vertex, drawn at once over the chart.
            const int fixed = std::max(n - 3, 0);
            fChart->setOverlayLine(fChart->pointPixel(Contour, fixed), e->position(), fChart->seriesColor(Contour));
        }
        return;
    }
    if (fGenesis)
        return;
    if (!buttondown)
        reevaluate(e->position());
    else if (PolygonTool)
        PolygonTool->MouseMove(e->position());
}

void GateTool::reevaluate(QPointF pos)
{
    // 1. Forget series that are no longer contours.
    ActiveContours.erase(std::remove_if(ActiveContours.begin(), ActiveContours.end(),
                                        [this](Chart::SeriesId s) { return !isContour(s); }),
                         ActiveContours.end());
    const Chart::SeriesId previous = selectedContour();
    // 2. Contours under the mouse, in chart order, keeping earlier entries' order.
    for (int i = 0; i < ContourCount(); ++i) {
        const Chart::SeriesId c = Contours(i);
        const auto it = std::find(ActiveContours.begin(), ActiveContours.end(), c);
        if (ContourHit(pos.x(), pos.y(), c)) {
            if (it == ActiveContours.end())
                ActiveContours.push_back(c);
        } else if (it != ActiveContours.end()) {
            ActiveContours.erase(it);
        }
    }
    // 3. The contour just edited stays selected where contours overlap.
    if (LastTag) {
        for (size_t k = 0; k + 1 < ActiveContours.size(); ++k) {
            if (fChart->seriesTag(ActiveContours[k]) == *LastTag) {
                const Chart::SeriesId c = ActiveContours[k];
                ActiveContours.erase(ActiveContours.begin() + std::ptrdiff_t(k));
                ActiveContours.push_back(c);
                break;
            }
        }
        LastTag.reset();
    }
    // 4. A new selection gets the vertex markers and the edit controller.
    const Chart::SeriesId selected = selectedContour();
    if (selected != previous) {
        if (isContour(previous))
            fChart->setVertexMarkers(previous, false);
        PolygonTool.reset();
        if (selected != Chart::NoSeries) {
            fChart->setVertexMarkers(selected, true);
            PolygonTool = std::make_unique<TeeSelectPolygon>(fChart, selected);
        }
        emit OnAnnotation(this, selected);
    }
    // 5.
    if (!ActiveContours.empty()) {
        if (PolygonTool)
            PolygonTool->MouseMove(pos);
    } else {
        emit OnAnnotationLeave();
        PolygonTool.reset();
    }
}

void GateTool::mouseUp(QMouseEvent* e)
{
    if (Disable || !fChart)
        return;
    if (DrawingGate) {
        if (e->button() == Qt::RightButton) {
            fChart->setCanvasCursor(Qt::ArrowCursor);
            fChart->setZoomEnabled(true);
            fChart->clearOverlayLine();
            DrawingGate = false;
            buttondown = false;
            emit OnEndGateDrawing(Contour);
            Contour = Chart::NoSeries;
            setGenesis(false);
            return;
        }
    } else if (PolygonTool) {
        PolygonTool->MouseUp();
        emit OnRegate(PolygonTool->Getaser());
    }
    buttondown = false;
}

}  // namespace orvala
