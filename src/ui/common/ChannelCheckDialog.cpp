#include "ChannelCheckDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>

#include "IniFile.h"
#include "UiMessages.h"
#include "core/TData.h"

namespace orvala {

ChannelCheckDialog::ChannelCheckDialog(TData* data, IniFile* settings, const QString& section, QWidget* parent)
    : QDialog(parent), settings_(settings), section_(section)
{
    setWindowTitle(QStringLiteral("Select channels"));
    auto* layout = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    all_ = new QCheckBox(QStringLiteral("All"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(list_);
    layout->addWidget(all_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(all_, &QCheckBox::clicked, this, [this](bool on) {
        for (int r = 0; r < RowCount(); ++r) SetChecked(r, on);
    });

    const int n = data ? data->CaseSize() : 0;
    for (int r = 0; r < n; ++r) {
        auto* item = new QListWidgetItem(fromEightBit(data->Desc()[size_t(r)].name), list_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool on = settings_ && settings_->ReadBool(section_, QStringLiteral("CH%1").arg(r), false);
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
}

int ChannelCheckDialog::RowCount() const { return list_->count(); }

bool ChannelCheckDialog::IsChecked(int row) const { return list_->item(row)->checkState() == Qt::Checked; }

void ChannelCheckDialog::SetChecked(int row, bool checked)
{
    list_->item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

std::vector<int> ChannelCheckDialog::CheckedRows() const
{
    std::vector<int> rows;
    for (int r = 0; r < RowCount(); ++r)
        if (IsChecked(r)) rows.push_back(r);
    return rows;
}

void ChannelCheckDialog::storeChecks() const
{
    if (!settings_) return;
    for (int r = 0; r < RowCount(); ++r) settings_->WriteBool(section_, QStringLiteral("CH%1").arg(r), IsChecked(r));
}

}  // namespace orvala
