#include "FileInfoWindow.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/TPreText.h"
#include "formats/DisplayText.h"
#include "formats/TFCStream.h"
#include "ui/common/UiMessages.h"

namespace orvala {

namespace {

QString shown(const std::string& bytes) { return QString::fromStdString(displayText(bytes)); }

// Every column as wide as its widest text plus one "0".
void fitColumns(QTableWidget* grid)
{
    grid->resizeColumnsToContents();
    const int extra = grid->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (int c = 0; c < grid->columnCount(); ++c) grid->setColumnWidth(c, grid->columnWidth(c) + extra);
}

}  // namespace

FileInfoWindow::FileInfoWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("View"));
    // An information window: Escape closes it, as it closes a dialog.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    resize(760, 560);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* fields = new QFormLayout;
    auto field = [&](const QString& label) {
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(true);
        fields->addRow(label, edit);
        return edit;
    };
    DataSetBox = new QComboBox(this);
    fields->addRow(QStringLiteral("Data Set"), DataSetBox);
    Mode = field(QStringLiteral("Mode"));
    Sample = field(QStringLiteral("Sample"));
    Cyt = field(QStringLiteral("Cyt"));
    Inst = field(QStringLiteral("Inst"));
    Date = field(QStringLiteral("Date"));
    Operator = field(QStringLiteral("Operator"));
    Events = field(QStringLiteral("Events"));
    top->addLayout(fields);

    auto* rawBox = new QVBoxLayout;
    rawBox->addWidget(new QLabel(QStringLiteral("Raw Header"), this));
    RawHeader = new QTableWidget(0, 2, this);
    RawHeader->setHorizontalHeaderLabels({QString(), QString()});
    RawHeader->verticalHeader()->hide();
    RawHeader->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rawBox->addWidget(RawHeader);
    top->addLayout(rawBox, 1);
    layout->addLayout(top, 1);

    ParGrid = new QTableWidget(0, 1, this);
    ParGrid->verticalHeader()->hide();
    ParGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(ParGrid, 1);

    connect(DataSetBox, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i >= 0) runCommand([&] { Display(i); });
    });
}

FileInfoWindow::~FileInfoWindow() = default;

void FileInfoWindow::ShowFile(const QString& fileName, int datasetnum)
{
    show();
    raise();
    stream_.reset();
    bool bad = false;
    try {
        stream_ = std::make_unique<TFCStream>(toEightBit(fileName), false, defaultSink());
        bad = stream_->badfile || stream_->Count() == 0;
    } catch (const std::exception&) {
        bad = true;
    }
    if (bad) {
        stream_.reset();
        hide();
        showUserMessage(QStringLiteral("File ") + fileName + QStringLiteral(" seems to be bad!"));
        return;
    }
    const QSignalBlocker block(DataSetBox);
    DataSetBox->clear();
    for (int i = 1; i <= stream_->Count(); ++i) DataSetBox->addItem(QString::number(i));
    const int chosen = std::clamp(datasetnum, 0, stream_->Count() - 1);
    DataSetBox->setCurrentIndex(chosen);
    Display(chosen);
}

void FileInfoWindow::Display(int i)
{
    if (!stream_ || i < 0 || i >= stream_->Count() || !stream_->DataSet(i)) return;
    const TPreText* text = stream_->DataSet(i)->keywords();
    RawHeader->setRowCount(0);
    ParGrid->setRowCount(0);
    ParGrid->setColumnCount(1);
    if (!text) return;

    RawHeader->setRowCount(text->count());
    for (int r = 0; r < text->count(); ++r) {
        RawHeader->setItem(r, 0, new QTableWidgetItem(shown(text->keys[size_t(r)])));
        RawHeader->setItem(r, 1, new QTableWidgetItem(shown(text->Values[size_t(r)])));
    }

    switch (text->Mode) {
    case 'C': Mode->setText(QStringLiteral("Correlation")); break;
    case 'L': Mode->setText(QStringLiteral("List")); break;
    case 'U': Mode->setText(QStringLiteral("Histogram")); break;
    default: Mode->clear();
    }
    Sample->setText(shown(text->GetValue("$SAMPLE")));
    Cyt->setText(shown(text->GetValue("$CYT")));
    Inst->setText(shown(text->GetValue("$INST")));
    Date->setText(shown(text->GetValue("$DATE")));
    Operator->setText(shown(text->GetValue("$OP")));
    Events->setText(shown(trimmed(text->GetValue("$TOT"))));

    const std::vector<std::string> suffixes = text->ParOfParNames();
    const int n = text->ParCount();
    ParGrid->setColumnCount(int(suffixes.size()) + 1);
    QStringList titles{QString()};
    for (const std::string& s : suffixes) titles << shown(s);
    ParGrid->setHorizontalHeaderLabels(titles);
    ParGrid->setRowCount(std::max(n, 0));
    for (int row = 0; row < n; ++row) {
        ParGrid->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
        for (size_t c = 0; c < suffixes.size(); ++c)
            ParGrid->setItem(row, int(c) + 1, new QTableWidgetItem(shown(text->ParOfParValue(row + 1, suffixes[c]))));
    }
    fitColumns(RawHeader);
    fitColumns(ParGrid);
}

void FileInfoWindow::hideEvent(QHideEvent* event)
{
    stream_.reset();
    QWidget::hideEvent(event);
}

}  // namespace orvala
