#include "DecompositionDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "analysis/DecompositionRun.h"
#include "analysis/SpectraFiles.h"
#include "analysis/TDBSpec.h"
#include "core/TData.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/UiMessages.h"
#include "ui/common/Workbench.h"
#include "ui/plot/QuickView.h"

namespace orvala {

namespace {

QListWidgetItem* checkItem(QListWidget* list, const QString& text, bool checked)
{
    auto* item = new QListWidgetItem(text, list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return item;
}

}  // namespace

QString DecompositionDialog::UserLibraryPath()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QDir(dir).filePath(QStringLiteral("spdb/specs.dat"));
}

QString DecompositionDialog::DefaultLibraryPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("spdb/specs.dat"));
}

DecompositionDialog::DecompositionDialog(Workbench* bench, QString libraryPath, QString defaultPath, QWidget* parent)
    : QDialog(parent), bench_(bench), libraryPath_(std::move(libraryPath)), defaultPath_(std::move(defaultPath))
{
    setWindowTitle(QStringLiteral("Decomposition"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Channels"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Spectra"), this), 0, 1);
    parlist = new QListWidget(this);
    parlist->setObjectName(QStringLiteral("parlist"));
    List = new QListWidget(this);
    List->setObjectName(QStringLiteral("List"));
    grid->addWidget(parlist, 1, 0);
    grid->addWidget(List, 1, 1);
    nonNegative = new QCheckBox(QStringLiteral("Non-negative"), this);
    nonNegative->setToolTip(QStringLiteral("Fit without negative amounts (non-negative least squares)"));
    grid->addWidget(nonNegative, 2, 0);

    auto* buttons = new QHBoxLayout;
    importButton = new QPushButton(QStringLiteral("Import..."), this);
    importButton->setToolTip(QStringLiteral("Add the spectra of a CSV table (detector names in the header) to the library"));
    deleteButton = new QPushButton(QStringLiteral("Delete checked"), this);
    okButton = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    okButton->setDefault(true);
    buttons->addWidget(importButton);
    buttons->addWidget(deleteButton);
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 3, 0, 1, 2);
    resize(560, 480);

    connect(okButton, &QPushButton::clicked, this, [this] { runCommand([this] { runOk(); }); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(deleteButton, &QPushButton::clicked, this, [this] { runCommand([this] { deleteChecked(); }); });
    connect(importButton, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Import spectra"), QString(),
                                                          QStringLiteral("Spectra (*.csv);;All files (*)"));
        if (!file.isEmpty()) runCommand([&] { importCsv(file); });
    });
    connect(List, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { showEntry(List->row(item)); });
    connect(List, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { showEntry(List->row(item)); });
}

DecompositionDialog::~DecompositionDialog()
{
    closeLibrary();
    if (data_) TData::Free(data_);
}

void DecompositionDialog::Take(TData* data)
{
    if (data) data->UseIt();
    if (data_) TData::Free(data_);
    data_ = data;
    parlist->clear();
    if (!data_) return;
    for (const TParDescriptor& d : data_->Desc()) checkItem(parlist, fromEightBit(d.name), true);
}

bool DecompositionDialog::openLibrary()
{
    library_.reset();
    List->clear();
    if (!runCommand([this] {
            library_ = std::make_unique<TDBSpec>(toEightBit(libraryPath_), toEightBit(defaultPath_));
        }))
        return false;
    listEntries();
    return true;
}

void DecompositionDialog::closeLibrary()
{
    if (!library_) return;
    runCommand([this] { library_->Save(); });
    // A failed save was shown; dropping the object then writes nothing more.
    library_->saved = true;
    library_.reset();
}

void DecompositionDialog::listEntries()
{
    List->clear();
    if (!library_) return;
    for (int i = 0; i < library_->Count(); ++i) checkItem(List, fromEightBit(library_->Name(i)), false);
}

void DecompositionDialog::showEntry(int row)
{
    if (!library_ || row < 0 || row >= library_->Count()) return;
    QuickView* view = QuickView::shared();
    view->Clear();
    view->Showme(library_->GetItem(row), 0, row);
    view->setWindowTitle(QStringLiteral("Quick View"));
    view->show();
}

TData* DecompositionDialog::runOk()
{
    lastResult = nullptr;
    if (!data_ || !library_) return nullptr;
    DecompositionChoice choice;
    for (int i = 0; i < parlist->count(); ++i) choice.channels.push_back(parlist->item(i)->checkState() == Qt::Checked);
    for (int i = 0; i < List->count(); ++i)
        if (List->item(i)->checkState() == Qt::Checked) choice.entries.push_back(i);
    choice.nonNegative = nonNegative->isChecked();
    const std::string name = bench_ ? bench_->dataList()->CreateName(data_, "SD") : data_->ShortName() + "SD";
    std::unique_ptr<TData> result(RunDecomposition(*data_, *library_, choice, bench_ ? bench_->pool() : nullptr, name));
    lastResult = result.get();
    if (bench_) bench_->dataList()->Add(result.release());
    else lastResult = nullptr;  // nobody would own it
    accept();
    return lastResult;
}

void DecompositionDialog::deleteChecked()
{
    if (!library_) return;
    for (int i = List->count() - 1; i >= 0; --i)
        if (List->item(i)->checkState() == Qt::Checked) library_->Delete(i);
    library_->Save();
    listEntries();
}

void DecompositionDialog::importCsv(const QString& fileName)
{
    if (!library_ || !data_) return;
    const SpectraTable table = ReadSpectraCsv(toEightBit(fileName));
    const std::vector<int> columns = MatchDetectors(*data_, table.detectors);
    const int first = library_->Count();
    for (size_t s = 0; s < table.spectra.size(); ++s) {
        // One value per channel of this data set; channels that are not
        // detectors of the table hold 0 and stay unticked.
        TVector spectrum(size_t(data_->CaseSize()), 0.0);
        for (size_t p = 0; p < columns.size(); ++p) spectrum[size_t(columns[p])] = table.spectra[s][p];
        library_->Add(table.names[s], spectrum);
    }
    library_->Save();
    listEntries();
    for (int i = 0; i < parlist->count(); ++i) parlist->item(i)->setCheckState(Qt::Unchecked);
    for (int c : columns) parlist->item(c)->setCheckState(Qt::Checked);
    for (int i = first; i < List->count(); ++i) List->item(i)->setCheckState(Qt::Checked);
}

void DecompositionDialog::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    // A damaged library abandons the command: the dialog closes again.
    if (!library_ && !openLibrary()) QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

void DecompositionDialog::hideEvent(QHideEvent* e)
{
    closeLibrary();
    QDialog::hideEvent(e);
}

}  // namespace orvala
