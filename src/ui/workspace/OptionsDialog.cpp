#include "OptionsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdlib>
#include <limits>

#include "ui/common/IniFile.h"

namespace orvala {

OptionsDialog::OptionsDialog(IniFile* settings, QWidget* parent) : QDialog(parent), settings_(settings)
{
    setWindowTitle(QStringLiteral("Options"));
    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    layout->addWidget(tabs);

    auto* color = new QWidget(tabs);
    auto* colorLayout = new QVBoxLayout(color);
    PCAsRGB = new QCheckBox(QStringLiteral("Principal Components as RGB"), color);
    AutoColor = new QCheckBox(QStringLiteral("Auto Color"), color);
    colorLayout->addWidget(PCAsRGB);
    colorLayout->addWidget(AutoColor);
    colorLayout->addStretch();
    tabs->addTab(color, QStringLiteral("Color"));

    auto* data = new QWidget(tabs);
    auto* dataLayout = new QVBoxLayout(data);
    auto* limitRow = new QHBoxLayout;
    LimitEvents = new QCheckBox(QStringLiteral("Limit Event Number"), data);
    EventLimitEdit = new QLineEdit(QStringLiteral("10000"), data);
    EventLimitEdit->setEnabled(false);
    limitRow->addWidget(LimitEvents);
    limitRow->addWidget(EventLimitEdit);
    dataLayout->addLayout(limitRow);
    LogToLinear = new QCheckBox(QStringLiteral("Convert Log pars to linear scale"), data);
    dataLayout->addWidget(LogToLinear);
    dataLayout->addStretch();
    connect(LimitEvents, &QCheckBox::toggled, EventLimitEdit, &QWidget::setEnabled);
    tabs->addTab(data, QStringLiteral("Data"));

    auto* pca = new QWidget(tabs);
    auto* pcaLayout = new QVBoxLayout(pca);
    auto* algorithm = new QGroupBox(QStringLiteral("Algorithm"), pca);
    auto* algorithmLayout = new QVBoxLayout(algorithm);
    AlgorithmQL = new QRadioButton(QStringLiteral("QL"), algorithm);
    AlgorithmJacobi = new QRadioButton(QStringLiteral("Jacobi"), algorithm);
    AlgorithmQL->setChecked(true);
    algorithmLayout->addWidget(AlgorithmQL);
    algorithmLayout->addWidget(AlgorithmJacobi);
    pcaLayout->addWidget(algorithm);
    pcaLayout->addStretch();
    tabs->addTab(pca, QStringLiteral("PCA"));

    auto* other = new QWidget(tabs);
    auto* otherLayout = new QVBoxLayout(other);
    CopyLeft = new QCheckBox(QStringLiteral("Background picture"), other);
    CopyLeft->setChecked(settings_ ? settings_->ReadBool(QStringLiteral("main"), QStringLiteral("CopyLeft"), true) : true);
    otherLayout->addWidget(CopyLeft);
    otherLayout->addStretch();
    tabs->addTab(other, QStringLiteral("Other"));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::AcceptRole);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(buttons);
}

std::optional<int> OptionsDialog::EventLimit() const
{
    if (!LimitEvents->isChecked()) return std::nullopt;
    bool ok = false;
    const qlonglong n = QLocale::c().toLongLong(EventLimitEdit->text().trimmed(), &ok);
    if (!ok) return std::nullopt;
    const qlonglong a = n < 0 ? -n : n;
    return int(std::min<qlonglong>(a, std::numeric_limits<int>::max()));
}

OptionsDialog::PcaAlgorithm OptionsDialog::Algorithm() const
{
    return AlgorithmJacobi->isChecked() ? PcaAlgorithm::Jacobi : PcaAlgorithm::QL;
}

bool OptionsDialog::BackgroundPicture() const { return CopyLeft->isChecked(); }

void OptionsDialog::done(int result)
{
    if (settings_) settings_->WriteBool(QStringLiteral("main"), QStringLiteral("CopyLeft"), CopyLeft->isChecked());
    QDialog::done(result);
}

}  // namespace orvala
