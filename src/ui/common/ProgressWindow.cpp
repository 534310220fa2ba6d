#include "ProgressWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvala {

ProgressWindow::ProgressWindow(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Progress"));
    auto* layout = new QVBoxLayout(this);
    Gauge = new QProgressBar(this);
    Info = new QLabel(this);
    info1 = new QLabel(this);
    info2 = new QLabel(this);
    Count = new QLabel(this);
    Stop = new QPushButton(QStringLiteral("Stop"), this);
    for (QWidget* w : {static_cast<QWidget*>(Gauge), static_cast<QWidget*>(Info), static_cast<QWidget*>(info1),
                       static_cast<QWidget*>(info2), static_cast<QWidget*>(Count), static_cast<QWidget*>(Stop)})
        layout->addWidget(w);
    connect(Stop, &QPushButton::clicked, this, [this] {
        cancelled_ = true;
        if (OnCancel) OnCancel();
    });
}

void ProgressWindow::SetMinMax(int min, int max) { Gauge->setRange(min, max); }

int ProgressWindow::Position() const { return Gauge->value(); }

void ProgressWindow::setPosition(int position) { Gauge->setValue(position); }

void ProgressWindow::showEvent(QShowEvent* event)
{
    cancelled_ = false;
    QWidget::showEvent(event);
}

}  // namespace orvala
