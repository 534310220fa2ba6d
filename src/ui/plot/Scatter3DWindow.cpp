#include "Scatter3DWindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QVBoxLayout>

#include "plot/Scatter3D.h"
#include "ui/chart/Chart3D.h"
#include "ui/common/DataEvents.h"

namespace orvala {

namespace {

QString parameterName(const TData& d, int p) { return QString::fromUtf8(d.Desc()[size_t(p)].name.c_str()); }

}  // namespace

Scatter3DWindow::Scatter3DWindow(TData* adata, const TVector& x, const TVector& y, TMultiThread* pool, QWidget* parent)
    : QWidget(parent), data_(adata), pool_(pool)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("3-D ") + QString::fromUtf8(adata ? adata->ShortName().c_str() : ""));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    const int n = adata ? adata->CaseSize() : 0;
    int start[3] = {dominantParameter(x), dominantParameter(y), -1};
    for (int a = 0; a < 2; ++a)
        if (start[a] < 0 || start[a] >= n) start[a] = std::min(a, n - 1);
    for (int p = 0; p < n && start[2] < 0; ++p)
        if (p != start[0] && p != start[1]) start[2] = p;
    if (start[2] < 0) start[2] = std::max(n - 1, 0);
    const char* names[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        bar->addWidget(new QLabel(QString::fromLatin1(names[a]), this));
        axis[a] = new QComboBox(this);
        axis[a]->setObjectName(QStringLiteral("axis%1").arg(names[a]));
        for (int p = 0; p < n; ++p) axis[a]->addItem(parameterName(*adata, p));
        axis[a]->setCurrentIndex(n > 0 ? start[a] : -1);
        bar->addWidget(axis[a], 1);
        connect(axis[a], &QComboBox::currentIndexChanged, this, [this] { Draw(); });
    }
    status = new QLabel(this);
    bar->addWidget(status);
    layout->addLayout(bar);
    chart_ = new Chart3D(this);
    chart_->setToolTip(QStringLiteral("Drag with the right button to turn, wheel to zoom"));
    layout->addWidget(chart_, 1);
    resize(720, 620);
    Draw();
}

void Scatter3DWindow::Draw()
{
    TData* d = data_.get();
    if (!d) return;
    datamodified = d->Modified();
    const int n = d->CaseSize();
    TVector dir[3];
    for (int a = 0; a < 3; ++a) dir[a] = parameterAxis(n, axis[a]->currentIndex());
    const Scatter3DPoints points = prepareScatter3D(d->events() > 0 ? d->data.data() : nullptr, d->events(), n,
                                                    dir[0], dir[1], dir[2], d->Colors().data(),
                                                    Scatter3DDefaultBudget, pool_);
    chart_->setAxisTitles(axis[0]->currentText(), axis[1]->currentText(), axis[2]->currentText());
    chart_->setPoints(points);
    QString text = QStringLiteral("%1 points").arg(points.points);
    if (points.step > 1) text += QStringLiteral(", every %1th event").arg(points.step);
    if (points.skipped > 0) text += QStringLiteral(", %1 not finite").arg(points.skipped);
    status->setText(text);
}

bool Scatter3DWindow::event(QEvent* e)
{
    if (e->type() != DataEvent::changedType()) return QWidget::event(e);
    QCoreApplication::removePostedEvents(this, DataEvent::changedType());
    TData* d = data_.get();
    if (!d || d->Deleted()) {
        data_.reset();
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->close();
        else
            close();
    } else if (d->Modified() != datamodified) {
        if (d->CaseSize() != axis[0]->count()) {
            // Channels were added or deleted: the boxes list the new ones.
            for (QComboBox* box : axis) {
                const QSignalBlocker block(box);
                const int keep = box->currentIndex();
                box->clear();
                for (int p = 0; p < d->CaseSize(); ++p) box->addItem(parameterName(*d, p));
                box->setCurrentIndex(std::min(keep, d->CaseSize() - 1));
            }
        }
        Draw();
    }
    return true;
}

QWidget* openScatter3D(QWidget* plotWindow, TData* data, const TVector& x, const TVector& y, TMultiThread* pool)
{
    if (!data) return nullptr;
    if (!Chart3D::available()) {
        QMessageBox::warning(plotWindow, QStringLiteral("3-D"),
                             QStringLiteral("The 3-D view needs OpenGL, which this display does not offer."));
        return nullptr;
    }
    auto* view = new Scatter3DWindow(data, x, y, pool);
    QMdiArea* area = nullptr;
    for (QWidget* w = plotWindow; w && !area; w = w->parentWidget()) area = qobject_cast<QMdiArea*>(w);
    if (area) {
        QMdiSubWindow* sub = area->addSubWindow(view);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->resize(740, 660);
        sub->show();
        return sub;
    }
    view->show();
    return view;
}

}  // namespace orvala
