#include "ui/chart/ChartCommandBar.h"

#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QStyle>
#include <exception>

#include "ui/chart/Chart.h"
#include "ui/chart/ChartExportDialog.h"

namespace orvala {

namespace {

ChartCommandBar::MessageHandler& handler()
{
    static ChartCommandBar::MessageHandler h;
    return h;
}

// Zoom steps of the bar: in by half the range, out back by the same amount.
constexpr double ZoomInFactor = 0.5;
constexpr double ZoomOutFactor = 2.0;

}  // namespace

ChartCommandBar::MessageHandler ChartCommandBar::setMessageHandler(MessageHandler h)
{
    std::swap(handler(), h);
    return h;
}

ChartCommandBar::ChartCommandBar(Chart* chart, QWidget* parent) : QToolBar(parent)
{
    setObjectName(QStringLiteral("ChartCommandBar"));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIconSize(QSize(16, 16));
    QStyle* st = style();
    auto make = [this](const QString& text, const QString& tip, const QIcon& icon) {
        auto* a = new QAction(icon, text, this);
        a->setToolTip(tip);
        a->setStatusTip(tip);
        return a;
    };
    zoomInAction = make(tr("Zoom In"), tr("Zoom in on the centre of the chart"), st->standardIcon(QStyle::SP_ArrowUp));
    zoomOutAction = make(tr("Zoom Out"), tr("Zoom out from the centre of the chart"), st->standardIcon(QStyle::SP_ArrowDown));
    undoZoomAction = make(tr("Undo Zoom"), tr("Back to the view before the last zoom"),
                          st->standardIcon(QStyle::SP_ArrowBack));
    zoomModeAction = make(tr("Zoom"), tr("Drag with the left button to zoom into a rectangle"),
                          st->standardIcon(QStyle::SP_FileDialogContentsView));
    panModeAction = make(tr("Pan"), tr("Drag with the right button to move the view"),
                         st->standardIcon(QStyle::SP_TitleBarNormalButton));
    copyAction = make(tr("Copy"), tr("Copy the chart to the clipboard as a picture"),
                      st->standardIcon(QStyle::SP_DialogApplyButton));
    saveAction = make(tr("Save Picture..."), tr("Save the chart as PNG, SVG or PDF at a chosen size and resolution"),
                      st->standardIcon(QStyle::SP_DialogSaveButton));
    printAction = make(tr("Print..."), tr("Print the chart"), st->standardIcon(QStyle::SP_FileIcon));
    zoomModeAction->setCheckable(true);
    panModeAction->setCheckable(true);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);

    menu_ = new QMenu(this);
    for (QAction* a : {zoomInAction, zoomOutAction, undoZoomAction}) addAction(a), menu_->addAction(a);
    addSeparator();
    menu_->addSeparator();
    for (QAction* a : {zoomModeAction, panModeAction}) addAction(a), menu_->addAction(a);
    addSeparator();
    menu_->addSeparator();
    for (QAction* a : {copyAction, saveAction, printAction}) addAction(a), menu_->addAction(a);

    connect(zoomInAction, &QAction::triggered, this, [this] {
        if (chart_) chart_->zoomBy(ZoomInFactor);
    });
    connect(zoomOutAction, &QAction::triggered, this, [this] {
        if (chart_) chart_->zoomBy(ZoomOutFactor);
    });
    connect(undoZoomAction, &QAction::triggered, this, [this] {
        if (chart_) chart_->zoomBack();
    });
    connect(zoomModeAction, &QAction::toggled, this, [this](bool on) {
        if (chart_) chart_->setZoomEnabled(on);
    });
    connect(panModeAction, &QAction::toggled, this, [this](bool on) {
        if (chart_) chart_->setPanEnabled(on);
    });
    connect(copyAction, &QAction::triggered, this, &ChartCommandBar::copyToClipboard);
    connect(saveAction, &QAction::triggered, this, &ChartCommandBar::saveAs);
    connect(printAction, &QAction::triggered, this, &ChartCommandBar::print);
    setChart(chart);
}

void ChartCommandBar::setChart(Chart* chart)
{
    for (const auto& c : connections_) disconnect(c);
    connections_.clear();
    chart_ = chart;
    if (chart_) {
        connections_ << connect(chart_, &Chart::contextMenuRequested, this, &ChartCommandBar::popup);
        for (auto signal : {&Chart::zoomed, &Chart::undoZoomed, &Chart::scrolled})
            connections_ << connect(chart_, signal, this, &ChartCommandBar::updateActions);
        connections_ << connect(chart_, &QObject::destroyed, this, [this] {
            chart_ = nullptr;
            updateActions();
        });
        // The copy shortcut works while the chart has the focus.
        chart_->addAction(copyAction);
        QSignalBlocker bz(zoomModeAction), bp(panModeAction);
        zoomModeAction->setChecked(chart_->zoomEnabled());
        panModeAction->setChecked(chart_->panEnabled());
    }
    updateActions();
}

void ChartCommandBar::updateActions()
{
    const bool bound = chart_ != nullptr;
    for (QAction* a : {zoomInAction, zoomOutAction, zoomModeAction, panModeAction, copyAction, saveAction, printAction})
        a->setEnabled(bound);
    undoZoomAction->setEnabled(bound);
}

void ChartCommandBar::addCommand(QAction* action, bool inMenu)
{
    if (!menuSeparator_) {
        addSeparator();
        menuSeparator_ = menu_->addSeparator();
    }
    if (!action->parent()) action->setParent(this);
    addAction(action);
    if (inMenu) menu_->addAction(action);
}

void ChartCommandBar::popup(QPoint globalPos)
{
    if (!chart_) return;
    // Tools switch zoom or panning off while they hold the mouse; show the state now.
    QSignalBlocker bz(zoomModeAction), bp(panModeAction);
    zoomModeAction->setChecked(chart_->zoomEnabled());
    panModeAction->setChecked(chart_->panEnabled());
    menu_->popup(globalPos);
}

void ChartCommandBar::showMessage(const QString& text)
{
    if (handler()) {
        handler()(text);
        return;
    }
    QMessageBox::warning(window(), tr("Chart"), text);
}

void ChartCommandBar::copyToClipboard()
{
    if (!chart_) return;
    copyChartToClipboard(*chart_);
}

bool ChartCommandBar::saveAs()
{
    if (!chart_) return false;
    QPointer<Chart> chart = chart_;
    ChartExportDialog dialog(chart_, window());
    if (dialog.exec() != QDialog::Accepted || !chart) return false;
    try {
        exportChart(*chart, dialog.settings());
        return true;
    } catch (const std::exception& e) {
        showMessage(QString::fromUtf8(e.what()));
        return false;
    }
}

bool ChartCommandBar::print()
{
    if (!chart_) return false;
    QPointer<Chart> chart = chart_;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(chart_->width() > chart_->height() ? QPageLayout::Landscape : QPageLayout::Portrait);
    QPrintDialog dialog(&printer, window());
    dialog.setWindowTitle(tr("Print Chart"));
    if (dialog.exec() != QDialog::Accepted || !chart) return false;
    try {
        printChart(*chart, printer);
        return true;
    } catch (const std::exception& e) {
        showMessage(QString::fromUtf8(e.what()));
        return false;
    }
}

}  // namespace orvala
