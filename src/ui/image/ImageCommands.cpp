#include "ImageCommands.h"

#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "ImageWindow.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/UiMessages.h"
#include "ui/common/Workbench.h"

namespace orvala::ImageCommands {

void Opened(Workbench& w, TData* data, const QString& path)
{
    if (!data) return;
    // The readers name the data set but know nothing of where it came from.
    data->setFileName(toEightBit(QDir::toNativeSeparators(path)));
    w.dataList()->Rebuild();
    OpenImageWindow(w, data);
}

QWidget* OpenImageWindow(Workbench& w, TData* data)
{
    if (!data || !data->IsPicture()) return nullptr;
    auto* form = new ImageWindow(data, w.dataList(), w.pool());
    QMdiSubWindow* sub = w.mdiArea()->addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->show();
    return form;
}

}  // namespace orvala::ImageCommands
