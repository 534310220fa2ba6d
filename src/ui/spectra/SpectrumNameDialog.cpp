#include "SpectrumNameDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvala {

SpectrumNameDialog::SpectrumNameDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Spectrum name"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Name it"), this));
    sname = new QLineEdit(this);
    sname->setObjectName(QStringLiteral("sname"));
    layout->addWidget(sname);
    norm = new QCheckBox(QStringLiteral("Normalize"), this);
    norm->setObjectName(QStringLiteral("norm"));
    layout->addWidget(norm);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

}  // namespace orvala
