#include "ProjectionPage.h"

#include <QCheckBox>
#include <QListWidget>

#include "PlotControlPanel.h"
#include "core/TDataFilter.h"
#include "core/TGate.h"

namespace orvala {

ProjectionPage::ProjectionPage(QWidget* AOwner) : QFrame(AOwner)
{
    PlotControlPanel::addAxisControls(this, {&xlog, &xlin, &xlist, &ylog, &ylin, &ylist, &multi});
}

ProjectionPage::~ProjectionPage() = default;

ProjectionPage* ProjectionPage::TryCreate(QWidget* AOwner, TData* adata)
{
    if (!adata) return nullptr;
    auto* t = new ProjectionPage(AOwner);
    t->data_ = DataRef(adata);
    t->listComponents();
    return t;
}

ProjectionPage* ProjectionPage::TryCreate(QWidget* AOwner, const TDataFilter* afilter)
{
    if (!afilter) return nullptr;
    auto* t = new ProjectionPage(AOwner);
    t->filter_ = afilter->fCopy();
    t->listComponents();
    return t;
}

const TDataFilter* ProjectionPage::Filter() const
{
    if (filter_) return filter_.get();
    TData* d = data_.get();
    if (!d) return nullptr;
    if (d->gate && d->gate->kind == TGateType::gtPCAGate && d->gate->filter) return d->gate->filter.get();
    return d->filter.get();
}

void ProjectionPage::listComponents()
{
    QStringList names;
    if (const TDataFilter* f = Filter())
        for (int k = 0; k < f->Count(); ++k) names << QStringLiteral("PC") + QString::number(k);
    PlotControlPanel::setEntries(xlist, names);
    PlotControlPanel::setEntries(ylist, names);
    if (names.size() > 0) xlist->item(0)->setCheckState(Qt::Checked);
    if (names.size() > 1) ylist->item(1)->setCheckState(Qt::Checked);
}

}  // namespace orvala
