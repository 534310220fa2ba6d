#include "TransformCommands.h"

#include <QApplication>
#include <QDir>
#include <QInputDialog>
#include <QLocale>
#include <QStandardPaths>
#include <memory>

#include "DiscriminationDialog.h"
#include "MainWindow.h"
#include "TDataBox.h"
#include "TSelectPars.h"
#include "UiMessages.h"
#include "analysis/Transforms.h"
#include "core/TData.h"
#include "formats/images/ImageSequence.h"
#include "numerics/TRandom.h"
#include "plot/Histogrm.h"
#include "ui/chart/Chart.h"
#include "ui/plot/TQuickview.h"

namespace orvala::TransformCommands {

namespace {

// Hourglass while a transform runs over a large data set.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Adds the result of make(source) for every selected data set.
template <class Make>
void addForEach(MainWindow& w, const Make& make)
{
    for (TData* d : w.dataBox()->Selected()) {
        std::unique_ptr<TData> result;
        {
            WaitCursor wait;
            result.reset(make(*d));
            if (!result) continue;
            FinishResult(*d, *result);
        }
        w.dataBox()->Add(result.release());
    }
}

// Runs change on every selected data set, then shows the new counts.
template <class Change>
void changeEach(MainWindow& w, const Change& change)
{
    {
        WaitCursor wait;
        for (TData* d : w.dataBox()->Selected()) change(*d);
    }
    w.dataBox()->Rebuild();
}

// The level of the "Discrimination Level" dialog; false when cancelled.
bool askLevel(MainWindow& w, double& level)
{
    DiscriminationDialog* dlg = w.discrimination();
    if (dlg->exec() != QDialog::Accepted) return false;
    level = dlg->Level();
    return true;
}

}  // namespace

QString SignalTablePath()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dir.isEmpty() || !QDir().mkpath(dir))
        throw OrvalaError("Cannot create the folder for TestSignal.csv: " + toEightBit(dir));
    return QDir(dir).filePath(QStringLiteral("TestSignal.csv"));
}

void FinishResult(const TData& source, TData& result)
{
    if (!source.IsSequence() || source.seq.empty()) return;
    const QCam_Frame& f = source.seq.front();
    CreateSeqFromData(result, int(f.width), int(f.height));
}

void LogScale(MainWindow& w)
{
    addForEach(w, [&](TData& d) { return orvala::Logarithm(d, w.pool()); });
}

void Logratio(MainWindow& w)
{
    for (TData* d : w.dataBox()->Selected()) {
        TSelectPars dlg(d, &w.settings(), &w);
        if (dlg.exec() != QDialog::Accepted) continue;
        TIntVector pars;
        if (dlg.Result()) {
            pars.assign(dlg.Result()->begin(), dlg.Result()->end());
        } else {
            // Every row checked: the dialog hands back no list, meaning all.
            for (int c = 0; c < d->CaseSize(); ++c) pars.push_back(c);
        }
        if (pars.empty()) continue;
        std::unique_ptr<TData> result;
        {
            WaitCursor wait;
            result.reset(orvala::Logratio(*d, pars, w.pool()));
            FinishResult(*d, *result);
        }
        w.dataBox()->Add(result.release());
    }
}

void Hyperspherical(MainWindow& w)
{
    addForEach(w, [&](TData& d) { return orvala::Spherical(d, w.pool()); });
}

void Transpose(MainWindow& w)
{
    addForEach(w, [&](TData& d) { return orvala::Transpose(d, w.pool()); });
}

void FindSignal(MainWindow& w)
{
    for (TData* d : w.dataBox()->Selected()) {
        const TVector triggers = Triggers(*d, w.pool());
        TQuickview* view = TQuickview::shared();
        view->Clear();
        if (!triggers.empty()) {
            Thistogram h(triggers, 1024);
            Chart* chart = view->chart();
            const Chart::SeriesId s = chart->addLineSeries({}, Qt::black);
            chart->setPoints(s, h.Xvalue, h.Yvalue);
        }
        view->setWindowTitle(QStringLiteral("Quick View"));
        view->show();
        view->chart()->redraw();

        bool ok = false;
        const QString text = QInputDialog::getText(&w, QStringLiteral("Threshold"), QStringLiteral("Treshold"),
                                                   QLineEdit::Normal, QString(), &ok);
        if (!ok) continue;
        bool number = false;
        const double threshold = QLocale::c().toDouble(text.trimmed(), &number);
        if (!number) throw OrvalaError("'" + toEightBit(text) + "' is not a valid floating point value");
        const std::string table = d->events() > 0 ? QFile::encodeName(SignalTablePath()).toStdString() : std::string();
        std::unique_ptr<TData> result;
        {
            WaitCursor wait;
            result.reset(Findsignal(*d, threshold, table, w.pool()));
        }
        w.dataBox()->Add(result.release());
    }
}

void Discriminate(MainWindow& w)
{
    double level = 0;
    if (!askLevel(w, level)) return;
    changeEach(w, [&](TData& d) { orvala::Discriminate(d, level, defaultSink(), w.pool()); });
}

void CutNoise(MainWindow& w)
{
    double level = 0;
    if (!askLevel(w, level)) return;
    changeEach(w, [&](TData& d) { orvala::CutNoise(d, level, w.pool()); });
}

void AddNoise(MainWindow& w)
{
    changeEach(w, [](TData& d) { orvala::AddNoise(d, programRandom()); });
}

void Scale(MainWindow& w)
{
    changeEach(w, [&](TData& d) { Scale1023(d, w.pool()); });
}

void SwapChannels(MainWindow& w)
{
    changeEach(w, [&](TData& d) { orvala::SwapChannels(d, w.pool()); });
}

void BoxCarDiv(MainWindow& w)
{
    changeEach(w, [&](TData& d) { orvala::BoxCarDiv(d, w.pool()); });
}

void BoxCarMul(MainWindow& w)
{
    changeEach(w, [&](TData& d) { orvala::BoxCarMul(d, w.pool()); });
}

}  // namespace orvala::TransformCommands
