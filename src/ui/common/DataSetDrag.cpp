#include "DataSetDrag.h"

#include <QDropEvent>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <algorithm>

#include "core/TDataList.h"

namespace orvala {

QMimeData* DataSetsMimeData(const TDataList& list, const std::vector<TData*>& data)
{
    QStringList positions;
    for (TData* d : data) {
        const int i = list.IndexOf(d);
        if (i >= 0) positions << QString::number(i);
    }
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(DataSetsMimeType), positions.join(QLatin1Char(',')).toUtf8());
    return mime;
}

bool CarriesDataSets(const QMimeData* mime)
{
    return mime && mime->hasFormat(QString::fromLatin1(DataSetsMimeType));
}

std::vector<TData*> DroppedDataSets(const QMimeData* mime, const TDataList& list)
{
    std::vector<TData*> out;
    if (!CarriesDataSets(mime)) return out;
    const QString text = QString::fromUtf8(mime->data(QString::fromLatin1(DataSetsMimeType)));
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int i = part.trimmed().toInt(&ok);
        if (!ok || i < 0 || i >= list.Count()) continue;
        TData* d = list.GetData(i);
        if (std::find(out.begin(), out.end(), d) == out.end()) out.push_back(d);
    }
    return out;
}

bool TakeDataSetDrop(QEvent* e, const TDataList& list, std::vector<TData*>& dropped)
{
    switch (e->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(e);
        if (!CarriesDataSets(drag->mimeData())) return false;
        drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(e);
        if (!CarriesDataSets(drop->mimeData())) return false;
        drop->acceptProposedAction();
        dropped = DroppedDataSets(drop->mimeData(), list);
        return true;
    }
    default:
        return false;
    }
}

}  // namespace orvala
