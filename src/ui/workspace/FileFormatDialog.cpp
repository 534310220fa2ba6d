#include "FileFormatDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace orvala {

FileFormatDialog::FileFormatDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("File Format"));
    setObjectName(QStringLiteral("FileFormat"));
    auto* layout = new QVBoxLayout(this);
    parnam = new QCheckBox(QStringLiteral("Parameter names (First Row)"), this);
    evetnam = new QCheckBox(QStringLiteral("Event names (First Colomn)"), this);
    layout->addWidget(parnam);
    layout->addWidget(evetnam);

    auto* delimiters = new QGroupBox(QStringLiteral("Delimiters"), this);
    auto* delimiterLayout = new QHBoxLayout(delimiters);
    Space = new QCheckBox(QStringLiteral("Space"), delimiters);
    Tab = new QCheckBox(QStringLiteral("Tab"), delimiters);
    Comma = new QCheckBox(QStringLiteral("Comma"), delimiters);
    Colon = new QCheckBox(QStringLiteral("Colon"), delimiters);
    Tab->setChecked(true);
    for (QCheckBox* box : {Space, Tab, Comma, Colon}) delimiterLayout->addWidget(box);
    layout->addWidget(delimiters);

    auto* lineRow = new QHBoxLayout;
    auto* lineLabel = new QLabel(QStringLiteral("Start From Line "), this);
    Line = new QSpinBox(this);
    Line->setRange(1, 1000000);
    Line->setValue(1);
    lineLabel->setBuddy(Line);
    lineRow->addWidget(lineLabel);
    lineRow->addWidget(Line);
    lineRow->addStretch();
    layout->addLayout(lineRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

TextFormat FileFormatDialog::Format() const
{
    TextFormat f;
    f.parnam = parnam->isChecked();
    f.evetnam = evetnam->isChecked();
    f.Space = Space->isChecked();
    f.Tab = Tab->isChecked();
    f.Comma = Comma->isChecked();
    f.Colon = Colon->isChecked();
    f.Line = Line->value();
    return f;
}

}  // namespace orvala
