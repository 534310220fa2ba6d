#include "DataCalculatorDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "analysis/DataCalculator.h"
#include "ui/common/UiMessages.h"

namespace orvala {

DataCalculatorDialog::DataCalculatorDialog(TMultiThread* pool, QWidget* parent) : QDialog(parent), pool_(pool)
{
    setWindowTitle(QStringLiteral("Data Calculator"));
    auto* grid = new QGridLayout(this);
    Data1 = new QComboBox(this);
    Data1->setObjectName(QStringLiteral("Data1"));
    OPer = new QComboBox(this);
    OPer->setObjectName(QStringLiteral("OPer"));
    OPer->addItems({QStringLiteral("-"), QStringLiteral("+")});
    Data2 = new QComboBox(this);
    Data2->setObjectName(QStringLiteral("Data2"));
    DataResult = new QLineEdit(this);
    DataResult->setObjectName(QStringLiteral("DataResult"));
    grid->addWidget(Data1, 0, 0);
    grid->addWidget(OPer, 0, 1);
    grid->addWidget(Data2, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("="), this), 0, 3);
    grid->addWidget(DataResult, 0, 4);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(4, 1);
    auto* buttons = new QDialogButtonBox(this);
    okButton = buttons->addButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
    okButton->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    grid->addWidget(buttons, 1, 0, 1, 5);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    for (QComboBox* box : {Data1, OPer, Data2})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { proposeName(); });
    // A name the user typed is kept when the choice changes afterwards.
    connect(DataResult, &QLineEdit::textEdited, this, [this] { nameEdited_ = true; });
}

void DataCalculatorDialog::setDatas(const std::vector<TData*>& datas)
{
    datas_.clear();
    nameEdited_ = false;
    const QSignalBlocker b1(Data1), b2(Data2);
    Data1->clear();
    Data2->clear();
    for (TData* d : datas) {
        if (!d) continue;
        datas_.emplace_back(d);
        Data1->addItem(fromEightBit(d->ShortName()));
        Data2->addItem(fromEightBit(d->ShortName()));
    }
    if (!datas_.empty()) {
        Data1->setCurrentIndex(0);
        Data2->setCurrentIndex(0);
    }
    OPer->setCurrentIndex(0);
    proposeName();
}

void DataCalculatorDialog::proposeName()
{
    if (nameEdited_) return;
    DataResult->setText(Data1->currentText() + OPer->currentText() + Data2->currentText());
}

TData* DataCalculatorDialog::result()
{
    const int a = Data1->currentIndex(), b = Data2->currentIndex();
    if (a < 0 || b < 0 || a >= int(datas_.size()) || b >= int(datas_.size())) return nullptr;
    const CalcOperator op = CalcOperatorOf(OPer->currentText().toStdString());
    return DataCalculate(*datas_[size_t(a)], *datas_[size_t(b)], op, toEightBit(DataResult->text()), pool_);
}

TData* DataCalculatorDialog::Execute(const std::vector<TData*>& datas)
{
    if (datas.empty()) return nullptr;
    setDatas(datas);
    if (datas_.empty() || exec() != QDialog::Accepted) return nullptr;
    return result();
}

}  // namespace orvala
