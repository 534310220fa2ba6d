#include "DiscriminationDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QVBoxLayout>

#include "UiMessages.h"

namespace orvala {

DiscriminationDialog::DiscriminationDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Discrimination Level"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Delete all cases with max intensity below : "), this));
    edit_ = new QLineEdit(QStringLiteral("0"), this);
    row->addWidget(edit_);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

double DiscriminationDialog::Level() const
{
    bool ok = false;
    const double v = QLocale::c().toDouble(edit_->text().trimmed(), &ok);
    if (!ok) throw OrvalaError("'" + toEightBit(edit_->text()) + "' is not a valid floating point value");
    return v;
}

}  // namespace orvala
