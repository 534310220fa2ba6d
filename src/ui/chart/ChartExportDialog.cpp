#include "ui/chart/ChartExportDialog.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPdfWriter>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSpinBox>
#include <QSvgGenerator>
#include <cmath>
#include <stdexcept>

#include "ui/chart/Chart.h"

namespace orvala {

namespace {

// What the dialog offers next time in this session.
struct LastChoice {
    QString folder;
    ChartFileFormat format = ChartFileFormat::Png;
    ExportUnit unit = ExportUnit::Pixels;
    double dpi = ChartLayoutDpi;
};
LastChoice& lastChoice()
{
    static LastChoice c;
    return c;
}

[[noreturn]] void cannotWrite(const QString& path, const QString& why)
{
    throw std::runtime_error(QStringLiteral("Cannot write the picture \"%1\": %2")
                                 .arg(QDir::toNativeSeparators(path), why)
                                 .toStdString());
}

QSize logicalSize(const ExportGeometry& g)
{
    // Rounded up, so the layout covers every pixel of the picture.
    return QSize(int(std::ceil(g.logicalWidth - 1e-9)), int(std::ceil(g.logicalHeight - 1e-9)));
}

// The chart as an SVG drawing of pixels (its user units) drawn from the
// chart's logical size times scale; shared by the file and the clipboard.
void writeSvg(Chart& chart, QIODevice* out, QSize pixels, QSize logical, double scale, double dpi)
{
    QSvgGenerator svg;
    svg.setOutputDevice(out);
    svg.setSize(pixels);
    svg.setViewBox(QRect(QPoint(0, 0), pixels));
    svg.setResolution(int(std::nearbyint(dpi)));
    svg.setTitle(chart.title());
    chart.renderTo(&svg, logical, scale);
}

}  // namespace

ChartFileFormat chartFormatForPath(const QString& path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("svg")) return ChartFileFormat::Svg;
    if (ext == QLatin1String("pdf")) return ChartFileFormat::Pdf;
    return ChartFileFormat::Png;
}

QString chartFormatExtension(ChartFileFormat format)
{
    switch (format) {
    case ChartFileFormat::Png: return QStringLiteral("png");
    case ChartFileFormat::Svg: return QStringLiteral("svg");
    case ChartFileFormat::Pdf: return QStringLiteral("pdf");
    }
    return QStringLiteral("png");
}

void exportChart(Chart& chart, const ChartExportSettings& s)
{
    const ExportGeometry g = exportGeometry(s.request);  // throws for bad sizes
    if (s.path.isEmpty()) throw std::invalid_argument("Please choose a file name for the picture.");
    QSaveFile file(s.path);
    if (!file.open(QIODevice::WriteOnly)) cannotWrite(s.path, file.errorString());
    const QSize logical = logicalSize(g);
    switch (s.format) {
    case ChartFileFormat::Png: {
        QImage image(g.pixelWidth, g.pixelHeight, QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) cannotWrite(s.path, QStringLiteral("not enough memory for a picture of this size."));
        image.fill(Qt::white);
        chart.renderTo(&image, logical, g.scale);
        const int dpm = int(std::nearbyint(s.request.dpi / 0.0254));
        image.setDotsPerMeterX(dpm);
        image.setDotsPerMeterY(dpm);
        if (!image.save(&file, "PNG")) cannotWrite(s.path, file.errorString());
        break;
    }
    case ChartFileFormat::Svg:
        writeSvg(chart, &file, QSize(g.pixelWidth, g.pixelHeight), logical, g.scale, s.request.dpi);
        break;
    case ChartFileFormat::Pdf: {
        QPdfWriter pdf(&file);
        pdf.setResolution(int(std::nearbyint(s.request.dpi)));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setPageSize(QPageSize(QSizeF(g.pixelWidth / s.request.dpi, g.pixelHeight / s.request.dpi), QPageSize::Inch));
        pdf.setTitle(chart.title());
        chart.renderTo(&pdf, logical, g.scale);
        break;
    }
    }
    if (!file.commit()) cannotWrite(s.path, file.errorString());
}

void printChart(Chart& chart, QPrinter& printer)
{
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QSize logical = chart.size().isEmpty() ? QSize(800, 600) : chart.size();
    const double scale = std::min(page.width() / logical.width(), page.height() / logical.height());
    if (!(scale > 0)) throw std::runtime_error("The printer's page has no room for the chart.");
    const QPointF offset((page.width() - logical.width() * scale) / 2, (page.height() - logical.height() * scale) / 2);
    chart.renderTo(&printer, logical, scale, offset);
}

void copyChartToClipboard(Chart& chart)
{
    const double r = chart.devicePixelRatioF();
    const QSize logical = chart.size();
    QImage image(int(std::ceil(logical.width() * r)), int(std::ceil(logical.height() * r)),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    chart.renderTo(&image, logical, r);
    // The drawing as well: editors and office programs paste it sharp at any size.
    QBuffer svg;
    svg.open(QIODevice::WriteOnly);
    writeSvg(chart, &svg, logical, logical, 1.0, chart.logicalDpiX());
    auto* mime = new QMimeData;
    mime->setImageData(image);
    mime->setData(QStringLiteral("image/svg+xml"), svg.data());
    QApplication::clipboard()->setMimeData(mime);
}

ChartExportDialog::ChartExportDialog(Chart* chart, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Export Chart"));
    const LastChoice& last = lastChoice();
    auto* form = new QFormLayout;

    file_ = new QLineEdit;
    auto* browse = new QPushButton(tr("Browse..."));
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse);
    form->addRow(tr("File:"), fileRow);

    format_ = new QComboBox;
    format_->addItem(tr("PNG picture"), int(ChartFileFormat::Png));
    format_->addItem(tr("SVG drawing"), int(ChartFileFormat::Svg));
    format_->addItem(tr("PDF document"), int(ChartFileFormat::Pdf));
    form->addRow(tr("Format:"), format_);

    width_ = new QDoubleSpinBox;
    height_ = new QDoubleSpinBox;
    for (QDoubleSpinBox* b : {width_, height_}) {
        b->setRange(0, 1e6);
        b->setDecimals(2);
        b->setLocale(QLocale::c());
    }
    unit_ = new QComboBox;
    unit_->addItem(tr("pixels"), int(ExportUnit::Pixels));
    unit_->addItem(tr("mm"), int(ExportUnit::Millimetres));
    unit_->addItem(tr("inches"), int(ExportUnit::Inches));
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(width_);
    sizeRow->addWidget(new QLabel(QStringLiteral("x")));
    sizeRow->addWidget(height_);
    sizeRow->addWidget(unit_);
    form->addRow(tr("Size:"), sizeRow);
    keep_ = new QCheckBox(tr("Keep proportions"));
    keep_->setChecked(true);
    form->addRow(QString(), keep_);

    dpi_ = new QSpinBox;
    dpi_->setRange(int(MinExportDpi), int(MaxExportDpi));
    dpi_->setSuffix(tr(" dpi"));
    form->addRow(tr("Resolution:"), dpi_);
    summary_ = new QLabel;
    form->addRow(QString(), summary_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    // Start from the chart as it is on screen, in the unit and resolution used last.
    ChartExportSettings s;
    const QSize shown = chart && !chart->size().isEmpty() ? chart->size() : QSize(800, 600);
    s.format = last.format;
    s.request.unit = last.unit;
    s.request.dpi = last.dpi;
    s.request.width = convertExportLength(shown.width(), ExportUnit::Pixels, last.unit, last.dpi);
    s.request.height = convertExportLength(shown.height(), ExportUnit::Pixels, last.unit, last.dpi);
    QString name = chart ? chart->title().trimmed() : QString();
    name.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")), QStringLiteral("_"));
    if (name.isEmpty()) name = QStringLiteral("chart");
    s.path = QDir(last.folder.isEmpty() ? QDir::homePath() : last.folder)
                 .filePath(name + QLatin1Char('.') + chartFormatExtension(s.format));
    setSettings(s);

    connect(browse, &QPushButton::clicked, this, &ChartExportDialog::browse);
    connect(format_, &QComboBox::currentIndexChanged, this, &ChartExportDialog::formatChanged);
    connect(unit_, &QComboBox::currentIndexChanged, this, &ChartExportDialog::unitChanged);
    connect(width_, &QDoubleSpinBox::valueChanged, this, &ChartExportDialog::widthChanged);
    connect(height_, &QDoubleSpinBox::valueChanged, this, &ChartExportDialog::heightChanged);
    connect(dpi_, &QSpinBox::valueChanged, this, &ChartExportDialog::updateSummary);
    connect(keep_, &QCheckBox::toggled, this, [this](bool on) {
        if (on && width_->value() > 0) aspect_ = height_->value() / width_->value();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &ChartExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ChartExportDialog::reject);
}

ChartExportSettings ChartExportDialog::settings() const
{
    ChartExportSettings s;
    s.path = file_->text().trimmed();
    s.format = ChartFileFormat(format_->currentData().toInt());
    s.request.width = width_->value();
    s.request.height = height_->value();
    s.request.unit = ExportUnit(unit_->currentData().toInt());
    s.request.dpi = dpi_->value();
    return s;
}

void ChartExportDialog::setSettings(const ChartExportSettings& s)
{
    updating_ = true;
    file_->setText(s.path);
    format_->setCurrentIndex(format_->findData(int(s.format)));
    unit_->setCurrentIndex(unit_->findData(int(s.request.unit)));
    shownUnit_ = s.request.unit;
    const int decimals = s.request.unit == ExportUnit::Pixels ? 0 : 2;
    width_->setDecimals(decimals);
    height_->setDecimals(decimals);
    width_->setValue(s.request.width);
    height_->setValue(s.request.height);
    dpi_->setValue(int(std::nearbyint(s.request.dpi)));
    if (s.request.width > 0) aspect_ = s.request.height / s.request.width;
    updating_ = false;
    updateSummary();
}

QString ChartExportDialog::summary() const
{
    return summary_->text();
}

void ChartExportDialog::updateSummary()
{
    try {
        const ExportGeometry g = exportGeometry(settings().request);
        summary_->setText(tr("Picture: %1 x %2 pixels").arg(g.pixelWidth).arg(g.pixelHeight));
    } catch (const std::exception& e) {
        summary_->setText(QString::fromUtf8(e.what()));
    }
}

void ChartExportDialog::browse()
{
    const ChartExportSettings s = settings();
    static const char* const filters[] = {"PNG picture (*.png)", "SVG drawing (*.svg)", "PDF document (*.pdf)"};
    QString selected = QString::fromLatin1(filters[int(s.format)]);
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export Chart"), s.path,
        QStringLiteral("%1;;%2;;%3").arg(filters[0], filters[1], filters[2]), &selected);
    if (path.isEmpty()) return;
    file_->setText(path);
    if (!QFileInfo(path).suffix().isEmpty())
        format_->setCurrentIndex(format_->findData(int(chartFormatForPath(path))));
}

void ChartExportDialog::formatChanged()
{
    if (updating_) return;
    // The file name follows the format, so the two cannot disagree.
    const QString path = file_->text().trimmed();
    const QFileInfo info(path);
    if (!path.isEmpty()) {
        const QString ext = chartFormatExtension(ChartFileFormat(format_->currentData().toInt()));
        const QString base = info.suffix().isEmpty() ? path : path.left(path.size() - info.suffix().size() - 1);
        file_->setText(base + QLatin1Char('.') + ext);
    }
}

void ChartExportDialog::unitChanged()
{
    if (updating_) return;
    const ExportUnit to = ExportUnit(unit_->currentData().toInt());
    const double dpi = dpi_->value();
    const double w = convertExportLength(width_->value(), shownUnit_, to, dpi);
    const double h = convertExportLength(height_->value(), shownUnit_, to, dpi);
    shownUnit_ = to;
    updating_ = true;
    const int decimals = to == ExportUnit::Pixels ? 0 : 2;
    width_->setDecimals(decimals);
    height_->setDecimals(decimals);
    width_->setValue(w);
    height_->setValue(h);
    updating_ = false;
    updateSummary();
}

void ChartExportDialog::widthChanged()
{
    if (!updating_ && keep_->isChecked()) {
        updating_ = true;
        height_->setValue(width_->value() * aspect_);
        updating_ = false;
    }
    updateSummary();
}

void ChartExportDialog::heightChanged()
{
    if (!updating_ && keep_->isChecked() && aspect_ > 0) {
        updating_ = true;
        width_->setValue(height_->value() / aspect_);
        updating_ = false;
    }
    updateSummary();
}

void ChartExportDialog::accept()
{
    const ChartExportSettings s = settings();
    try {
        exportGeometry(s.request);
        if (s.path.isEmpty()) throw std::invalid_argument("Please choose a file name for the picture.");
    } catch (const std::exception& e) {
        summary_->setText(QString::fromUtf8(e.what()));
        return;
    }
    LastChoice& last = lastChoice();
    last.folder = QFileInfo(s.path).absolutePath();
    last.format = s.format;
    last.unit = s.request.unit;
    last.dpi = s.request.dpi;
    QDialog::accept();
}

}  // namespace orvala
