#include "ImageCommands.h"

#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "MainWindow.h"
#include "TDataBox.h"
#include "TDispImg.h"
#include "UiMessages.h"

namespace orvala::ImageCommands {

void Opened(MainWindow& w, TData* data, const QString& path)
{
    if (!data) return;
    // The readers name the data set but know nothing of where it came from.
    data->setFileName(toEightBit(QDir::toNativeSeparators(path)));
    w.dataBox()->Rebuild();
    OpenImageWindow(w, data);
}

QWidget* OpenImageWindow(MainWindow& w, TData* data)
{
    if (!data || !data->IsPicture()) return nullptr;
    auto* form = new TDispImg(data, w.dataBox(), w.pool());
    QMdiSubWindow* sub = w.mdiArea()->addSubWindow(form);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->show();
    return form;
}

}  // namespace orvala::ImageCommands
