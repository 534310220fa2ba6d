#include "DeleteChannelsDialog.h"

namespace orvala {

DeleteChannelsDialog::DeleteChannelsDialog(TData* data, IniFile* settings, QWidget* parent)
    : ChannelCheckDialog(data, settings, QStringLiteral("DeletePars"), parent)
{
}

void DeleteChannelsDialog::accept()
{
    kept_.clear();
    const std::vector<int> checked = CheckedRows();
    if (!checked.empty() && int(checked.size()) < RowCount()) {
        storeChecks();
        for (int r = 0; r < RowCount(); ++r)
            if (!IsChecked(r)) kept_.push_back(r);
    }
    QDialog::accept();
}

}  // namespace orvala
