#include "SelectChannelsDialog.h"

namespace orvala {

SelectChannelsDialog::SelectChannelsDialog(TData* data, IniFile* settings, QWidget* parent)
    : ChannelCheckDialog(data, settings, QStringLiteral("SelectedPars"), parent)
{
}

void SelectChannelsDialog::accept()
{
    const std::vector<int> rows = CheckedRows();
    result_.reset();
    if (int(rows.size()) < RowCount()) {
        storeChecks();
        result_ = rows;
    }
    QDialog::accept();
}

}  // namespace orvala
