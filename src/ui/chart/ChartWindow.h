#pragma once
// The base of simple chart windows (analysis windows of averages,
// distributions, time plots, spectra, ...): one chart with its command bar
// across the top. Closing the window frees it.
//
// Deriving a window:
//   class TotalsWindow : public ChartWindow {
//   public:
//       explicit TotalsWindow(QWidget* parent = nullptr) : ChartWindow(parent)
//       {
//           setWindowTitle("Totals");
//           chart()->setAxisTitle(ChartAxis::Bottom, "Channel");  // draw through chart()
//           QAction* norm = addCommand(tr("Normalize"), tr("Scale every curve to 1"));
//           norm->setCheckable(true);
//           connect(norm, &QAction::toggled, this, [this](bool on) { ... });
//       }
//   };
//   area->addSubWindow(new TotalsWindow)->show();
// chart() is the window's Chart (series, axes, tools; see Chart.h);
// commandBar() is its ChartCommandBar: zoom in/out, undo zoom, zoom and pan
// modes, copy, save as PNG/SVG/PDF, print, and the same on the chart's
// right-click menu. addCommand puts a window's own button after those (and
// in the menu); addCommandWidget puts any widget (a spin box, a combo) there.
// Below the bar and the chart, contentLayout() takes further widgets.
#include <QWidget>

class QAction;
class QVBoxLayout;

namespace orvala {

class Chart;
class ChartCommandBar;

class ChartWindow : public QWidget {
    Q_OBJECT
public:
    explicit ChartWindow(QWidget* parent = nullptr);

    Chart* chart() const { return chart_; }
    ChartCommandBar* commandBar() const { return bar_; }
    // The window's layout: the command bar, then the chart (stretching);
    // a derived window may add widgets below.
    QVBoxLayout* contentLayout() const { return layout_; }

    // A new command button (owned by the bar) after the chart commands,
    // also on the right-click menu unless inMenu is false.
    QAction* addCommand(const QString& text, const QString& toolTip = {}, bool inMenu = true);
    // Any widget on the bar after the chart commands (the bar takes it).
    void addCommandWidget(QWidget* widget);

private:
    Chart* chart_ = nullptr;
    ChartCommandBar* bar_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
};

}  // namespace orvala
