#pragma once
// The frame on a plot panel's added pages: a projection space of its own (a
// loaded filter, or the filter of a data set gated in component space) with
// the same axis controls as the "Scatter" page, listing that space's components.
#include <QFrame>
#include <memory>

#include "core/TData.h"

class QCheckBox;
class QListWidget;

namespace orvala {

class TDataFilter;

class ProjectionPage : public QFrame {
    Q_OBJECT
public:
    // A frame holding one reference to adata; null when adata is null.
    static ProjectionPage* TryCreate(QWidget* AOwner, TData* adata);
    // A frame holding its own copy of afilter; null when afilter is null.
    static ProjectionPage* TryCreate(QWidget* AOwner, const TDataFilter* afilter);
    ~ProjectionPage() override;

    TData* data() const { return data_.get(); }
    // The frame's own filter copy; null for a frame that holds a data set.
    const TDataFilter* filter() const { return filter_.get(); }
    // The space the page shows: the own copy, else the held data set's PCA
    // gate filter, else that data set's own filter; may be null.
    const TDataFilter* Filter() const;

    QCheckBox *xlog = nullptr, *xlin = nullptr, *ylog = nullptr, *ylin = nullptr;
    QListWidget *xlist = nullptr, *ylist = nullptr;
    QCheckBox* multi = nullptr;

private:
    explicit ProjectionPage(QWidget* AOwner);
    // Lists "PC0", "PC1", ... of Filter(), the first on x and the second on y.
    void listComponents();

    DataRef data_;
    std::unique_ptr<TDataFilter> filter_;
};

}  // namespace orvala
