#include "SaveTextOptionsDialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace orvala {

SaveTextOptionsDialog::SaveTextOptionsDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Save As TXT options"));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(this);
    auto* groupLayout = new QVBoxLayout(group);
    asIs_ = new QRadioButton(QStringLiteral("as is"), group);
    scaled_ = new QRadioButton(QStringLiteral("scale 0..1023"), group);
    asIs_->setChecked(true);
    groupLayout->addWidget(asIs_);
    groupLayout->addWidget(scaled_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int SaveTextOptionsDialog::ItemIndex() const { return scaled_->isChecked() ? 1 : 0; }

void SaveTextOptionsDialog::setItemIndex(int index) { (index == 1 ? scaled_ : asIs_)->setChecked(true); }

}  // namespace orvala
