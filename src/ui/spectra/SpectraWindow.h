#pragma once
// "spectra": browses reference spectra kept as text files in a folder with a
// "names" index (pairs of lines: display name, file name). Typing narrows the
// list; clicking a name draws its file's two curves.
#include <QString>

#include "analysis/SpectraFiles.h"
#include "ui/chart/ChartWindow.h"

class QCheckBox;
class QLineEdit;
class QListWidget;

namespace orvala {

class SpectraWindow : public ChartWindow {
    Q_OBJECT
public:
    // folder: where "names" and the spectrum files are (the folder "spectra"
    // beside the program, see DefaultFolder).
    explicit SpectraWindow(QString folder, QWidget* parent = nullptr);

    static QString DefaultFolder();

    // Fills `used` with the names that contain the trimmed text.
    void Search(const QString& text);
    // Draws the spectrum of entry row of `all` or of `used` (fromUsed); the
    // chart is cleared first unless `Multi` is ticked. A file that cannot be
    // read raises OrvalaError naming it.
    void DrawEntry(int row, bool fromUsed);
    void ClearChart();

    QListWidget* all = nullptr;
    QListWidget* used = nullptr;
    QLineEdit* search = nullptr;
    QCheckBox* Multi = nullptr;

private:
    QString folder_;
    SpectraIndex index_;
    std::vector<int> usedIndex_;  // entry of index_ behind each row of `used`
};

}  // namespace orvala
