#include "AcquisitionCommands.h"

#include <QPointer>

#include "AcquisitionWindow.h"
#include "HypercytWindow.h"
#include "ui/common/Workbench.h"

namespace orvala::AcquisitionCommands {

namespace {

// One window of each kind; both drive the one instrument, so only one of them
// may hold it at a time.
QPointer<AcquisitionForm> acquisitionWindow;
QPointer<AcquisitionForm> hypercytWindow;

void showOrRaise(QPointer<AcquisitionForm>& slot, QPointer<AcquisitionForm>& other,
                 const std::function<AcquisitionForm*()>& make)
{
    if (other)
        other->close();
    if (!slot) {
        slot = make();
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
}

}  // namespace

void ShowAcquisition(Workbench& w)
{
    showOrRaise(acquisitionWindow, hypercytWindow, [&] {
        return new AcquisitionWindow(AcquisitionForm::ReadChannelNames(w.settings()), w.dialogParent());
    });
}

void ShowHypercyt(Workbench& w)
{
    showOrRaise(hypercytWindow, acquisitionWindow, [&] { return new HypercytWindow(w.dialogParent()); });
}

}  // namespace orvala::AcquisitionCommands
