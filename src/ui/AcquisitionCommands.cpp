#include "AcquisitionCommands.h"

#include <QPointer>

#include "MainWindow.h"
#include "TAcquisition.h"
#include "THypercyt.h"

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

void ShowAcquisition(MainWindow& w)
{
    showOrRaise(acquisitionWindow, hypercytWindow, [&] {
        return new TAcquisition(AcquisitionForm::ReadChannelNames(w.settings()), &w);
    });
}

void ShowHypercyt(MainWindow& w)
{
    showOrRaise(hypercytWindow, acquisitionWindow, [&] { return new THypercyt(&w); });
}

}  // namespace orvala::AcquisitionCommands
