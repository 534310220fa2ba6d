#include "ProgressWindow.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

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

void ProgressWindow::startSteps(const QString& info)
{
    SetMinMax(0, 1);
    setPosition(0);
    Info->setText(info);
    show();
}

bool ProgressWindow::step(int done, int total)
{
    SetMinMax(0, std::max(total, 1));
    setPosition(done);
    Count->setText(QString::number(done) + QStringLiteral(" / ") + QString::number(total));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return !Cancelled();
}

void ProgressWindow::showEvent(QShowEvent* event)
{
    cancelled_ = false;
    QWidget::showEvent(event);
}

}  // namespace orvala
