#pragma once
// The shared fixture of the plot window tests: a workspace with one generated
// data set, a window on it, and mouse-driven polygon drawing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <memory>
#include <vector>

#include "common/QtTestApp.h"
#include "core/TDataList.h"
#include "core/TGate.h"
#include "ui/common/DataEvents.h"
#include "ui/plot/PlotControlPanel.h"
#include "ui/plot/ScatterPlotWindow.h"

namespace orvala::plottest {

inline QApplication& app() { return test::offscreenApp(); }

// Delivers announcements to one window as the UI does: a posted event.
struct PostingNotifier : DataNotifier {
    QObject* target = nullptr;
    int posts = 0;
    void post(int message, TData*) override
    {
        ++posts;
        if (target) QCoreApplication::postEvent(target, new QEvent(DataEvent::typeFor(message)));
    }
};

// Crossing-number (even-odd) test, written independently of the program's gate code.
inline bool evenOdd(double x, double y, const std::vector<double>& vx, const std::vector<double>& vy)
{
    bool in = false;
    const size_t n = vx.size();
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        if ((vy[i] > y) != (vy[j] > y)) {
            const double xc = vx[j] + (y - vy[j]) * (vx[i] - vx[j]) / (vy[i] - vy[j]);
            if (x < xc) in = !in;
        }
    }
    return in;
}

struct PlotFixture : ::testing::Test {
    PlotFixture()
    {
        app();
        workspace = std::make_unique<TDataList>();
        TData::Workspace = workspace.get();
        TData::Notifier = &notifier;
        root = TData::Create("gen", 3, 3000);
        // Deterministic pseudo-random events in [0, 1000) on three parameters.
        uint32_t s = 12345;
        for (int e = 0; e < root->events(); ++e)
            for (int p = 0; p < 3; ++p) {
                s = s * 1664525u + 1013904223u;
                root->data[e][p] = double(s >> 8) / double(1u << 24) * 1000.0;
            }
        workspace->Add(root);
    }
    ~PlotFixture() override
    {
        window.reset();
        TData::Notifier = nullptr;
        workspace.reset();
        TData::Workspace = nullptr;
    }
    ScatterPlotWindow& open(TData* d)
    {
        window = std::make_unique<ScatterPlotWindow>(d);
        notifier.target = window.get();
        window->resize(900, 600);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->DrawData();
        return *window;
    }
    QPoint pixel(double x, double y) const
    {
        const Chart* c = window->chart();
        return QPoint(int(std::nearbyint(c->valueToPixel(ChartAxis::Bottom, x))),
                      int(std::nearbyint(c->valueToPixel(ChartAxis::Left, y))));
    }
    // Draws a polygon with the mouse: a click per vertex, the right button at
    // the last. Returns the data values of the clicked pixels.
    std::vector<QPointF> drawPolygon(const std::vector<QPointF>& vertices)
    {
        std::vector<QPointF> clicked;
        const Chart* c = window->chart();
        for (const QPointF& v : vertices) {
            const QPoint p = pixel(v.x(), v.y());
            clicked.emplace_back(c->pixelToValue(ChartAxis::Bottom, p.x()), c->pixelToValue(ChartAxis::Left, p.y()));
        }
        window->Control->poly->click();
        std::vector<QPoint> pixels;
        for (const QPointF& v : vertices) pixels.push_back(pixel(v.x(), v.y()));
        test::clickPolygon(window->chart()->canvas(), pixels);
        return clicked;
    }
    TIntVector evenOddSelection(const TGate& g) const { return evenOddSelection(g.cx, g.cy); }
    TIntVector evenOddSelection(const std::vector<double>& vx, const std::vector<double>& vy) const
    {
        TIntVector want;
        for (int e = 0; e < root->events(); ++e)
            if (evenOdd(root->data[e][0], root->data[e][1], vx, vy)) want.push_back(e);
        return want;
    }

    PostingNotifier notifier;
    std::unique_ptr<TDataList> workspace;
    TData* root = nullptr;
    std::unique_ptr<ScatterPlotWindow> window;
};

}  // namespace orvala::plottest
