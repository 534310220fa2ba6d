#pragma once
// "Average": the mean spectrum of a data set (one point per parameter) with
// its standard deviations as error bars, over the event range chosen with a
// two-thumb slider. "Cut" makes the range a new data set, "Save as Spectrum"
// stores the curve in the spectra library and "Average" > "Save" writes the
// plotted numbers as text. The window holds one reference per data set it
// shows and closes when they are removed from the workspace.
#include <QString>
#include <memory>
#include <vector>

#include "analysis/Averages.h"
#include "core/TData.h"
#include "ui/chart/Chart.h"
#include "ui/chart/ChartWindow.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenuBar;

namespace orvala {

class RangeSlider;
class DataListWindow;
class TMultiThread;

class AverageWindow : public ChartWindow {
    Q_OBJECT
public:
    // dataList receives the data sets "Cut" makes (may be null: nothing is
    // added); pool computes the averages (may be null).
    AverageWindow(DataListWindow* dataList, TMultiThread* pool, QWidget* parent = nullptr);
    ~AverageWindow() override;

    // Shows data over all its events and selects it. Throws OrvalaError for a
    // data set without events: there is no range to choose from.
    void Add(TData* data);

    // "Cut": the range in the start and stop edits of the first data set as
    // a new data set, added to the data list and returned. Throws OrvalaError
    // when an edit holds no integer or the range is not inside the data set.
    TData* Cut();
    // "Save as Spectrum" without its dialog: the means of the first line
    // series under name ("Default" when blank), divided by their largest
    // value when normalize is set, appended to the library at libraryPath.
    void SaveAsSpectrum(const QString& name, bool normalize);
    // "Save" without its dialog: every series' title and points as text.
    void SaveText(const QString& fileName);

    // The selected data set's range; redraws.
    void setRange(int first, int last);
    int rangeStart() const;
    int rangeStop() const;
    TData* selected() const;
    int dataCount() const { return int(fdata.size()); }

    // Where "Save as Spectrum" stores spectra (the user's library by
    // default) and the read-only library read while that does not exist.
    QString libraryPath;
    QString defaultLibraryPath;

    QComboBox* Series = nullptr;
    QLineEdit* start = nullptr;
    QLineEdit* stop = nullptr;
    RangeSlider* ranger = nullptr;
    QCheckBox* PhQ = nullptr;
    QAction* cutButton = nullptr;
    QAction* spectrumButton = nullptr;
    QMenuBar* menu = nullptr;
    QAction* saveAction = nullptr;

protected:
    bool event(QEvent* e) override;

private:
    struct Shown {
        DataRef data;
        Chart::SeriesId line = Chart::NoSeries;
        Chart::SeriesId errors = Chart::NoSeries;
        int start = 0;
        int stop = 0;
        int drawnModified = 0;
        std::shared_ptr<AverageSums> sums;  // block sums for slider moves, rebuilt when the data change
    };
    void select(int index);
    void draw(int index);
    void rangeMoved(int low, int high);
    void editFinished(QLineEdit* edit);
    void askSpectrum();
    void askSaveText();
    void dataChanged();

    DataListWindow* dataList_;
    TMultiThread* pool_;
    std::vector<Shown> fdata;
    int current_ = -1;
    bool syncing_ = false;
};

}  // namespace orvala
