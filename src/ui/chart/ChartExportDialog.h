#pragma once
// Pictures of a chart: PNG, SVG and PDF files at a chosen size and
// resolution, the clipboard and the printer; and the dialog that asks for
// the file, size and resolution.
#include <QDialog>
#include <QString>

#include "plot/ChartExport.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QSpinBox;

namespace orvala {

class Chart;

enum class ChartFileFormat { Png, Svg, Pdf };

struct ChartExportSettings {
    QString path;
    ChartFileFormat format = ChartFileFormat::Png;
    ExportRequest request;
};

// The format a file name's extension asks for (case-insensitive); Png for
// an unknown extension.
ChartFileFormat chartFormatForPath(const QString& path);
QString chartFormatExtension(ChartFileFormat format);  // "png", "svg", "pdf"

// Writes the chart to settings.path as the settings say, through a temporary
// file so an existing picture is replaced only by a complete one. Throws
// std::runtime_error naming the file when it cannot be written, and
// std::invalid_argument for a size or resolution out of bounds.
void exportChart(Chart& chart, const ChartExportSettings& settings);
// The chart scaled to fit the printer's page, centred, keeping its proportions.
void printChart(Chart& chart, QPrinter& printer);
// The chart as shown, on the clipboard twice in one entry: a bitmap at the
// screen's device pixel ratio and an SVG drawing ("image/svg+xml") of the
// chart's size, as exportChart draws it.
void copyChartToClipboard(Chart& chart);

// Asks for the file, format, size (pixels, millimetres or inches) and
// resolution; starts from the chart's size on screen and the settings used
// last in this session. OK is refused, with the reason shown, while the
// picture would be out of bounds.
class ChartExportDialog : public QDialog {
    Q_OBJECT
public:
    explicit ChartExportDialog(Chart* chart, QWidget* parent = nullptr);

    ChartExportSettings settings() const;
    // Sets every field (for tests and for callers that propose a name).
    void setSettings(const ChartExportSettings& s);
    // The size in pixels the fields give, or the reason they give none.
    QString summary() const;

    void accept() override;

private:
    void browse();
    void unitChanged();
    void widthChanged();
    void heightChanged();
    void formatChanged();
    void updateSummary();

    QLineEdit* file_ = nullptr;
    QComboBox* format_ = nullptr;
    QDoubleSpinBox* width_ = nullptr;
    QDoubleSpinBox* height_ = nullptr;
    QComboBox* unit_ = nullptr;
    QSpinBox* dpi_ = nullptr;
    QCheckBox* keep_ = nullptr;
    QLabel* summary_ = nullptr;
    ExportUnit shownUnit_ = ExportUnit::Pixels;
    double aspect_ = 1;  // height / width when the proportions are kept
    bool updating_ = false;
};

}  // namespace orvala
