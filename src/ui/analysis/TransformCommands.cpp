#include "TransformCommands.h"

#include <QDir>
#include <QInputDialog>
#include <QLocale>
#include <QStandardPaths>
#include <memory>

#include "SelectChannelsDialog.h"
#include "analysis/Transforms.h"
#include "core/TData.h"
#include "formats/images/ImageSequence.h"
#include "numerics/TRandom.h"
#include "plot/Histogrm.h"
#include "ui/chart/Chart.h"
#include "ui/common/DataListWindow.h"
#include "ui/common/DiscriminationDialog.h"
#include "ui/common/UiMessages.h"
#include "ui/common/WaitCursor.h"
#include "ui/common/Workbench.h"
#include "ui/plot/QuickView.h"

namespace orvala::TransformCommands {

namespace {

// Adds the result of make(source) for every selected data set.
template <class Make>
void addForEach(Workbench& w, const Make& make)
{
    for (TData* d : w.dataList()->Selected()) {
        std::unique_ptr<TData> result;
        {
            WaitCursor wait;
            result.reset(make(*d));
            if (!result) continue;
            FinishResult(*d, *result);
        }
        w.dataList()->Add(result.release());
    }
}

// Runs change on every selected data set, then shows the new counts.
template <class Change>
void changeEach(Workbench& w, const Change& change)
{
    {
        WaitCursor wait;
        for (TData* d : w.dataList()->Selected()) change(*d);
    }
    w.dataList()->Rebuild();
}

// The level of the "Discrimination Level" dialog; false when cancelled.
bool askLevel(Workbench& w, double& level)
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

void LogScale(Workbench& w)
{
    addForEach(w, [&](TData& d) { return orvala::Logarithm(d, w.pool()); });
}

void Logratio(Workbench& w)
{
    for (TData* d : w.dataList()->Selected()) {
        SelectChannelsDialog dlg(d, &w.settings(), w.dialogParent());
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
        w.dataList()->Add(result.release());
    }
}

void Hyperspherical(Workbench& w)
{
    addForEach(w, [&](TData& d) { return orvala::Spherical(d, w.pool()); });
}

void Transpose(Workbench& w)
{
    addForEach(w, [&](TData& d) { return orvala::Transpose(d, w.pool()); });
}

void FindSignal(Workbench& w)
{
    for (TData* d : w.dataList()->Selected()) {
        const TVector triggers = Triggers(*d, w.pool());
        QuickView* view = QuickView::shared();
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
        const QString text = QInputDialog::getText(w.dialogParent(), QStringLiteral("Threshold"),
                                                   QStringLiteral("Treshold"), QLineEdit::Normal, QString(), &ok);
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
        w.dataList()->Add(result.release());
    }
}

void Discriminate(Workbench& w)
{
    double level = 0;
    if (!askLevel(w, level)) return;
    changeEach(w, [&](TData& d) { orvala::Discriminate(d, level, w.messages(), w.pool()); });
}

void CutNoise(Workbench& w)
{
    double level = 0;
    if (!askLevel(w, level)) return;
    changeEach(w, [&](TData& d) { orvala::CutNoise(d, level, w.pool()); });
}

void AddNoise(Workbench& w)
{
    changeEach(w, [](TData& d) { orvala::AddNoise(d, programRandom()); });
}

void Scale(Workbench& w)
{
    changeEach(w, [&](TData& d) { Scale1023(d, w.pool()); });
}

void SwapChannels(Workbench& w)
{
    changeEach(w, [&](TData& d) { orvala::SwapChannels(d, w.pool()); });
}

void BoxCarDiv(Workbench& w)
{
    changeEach(w, [&](TData& d) { orvala::BoxCarDiv(d, w.pool()); });
}

void BoxCarMul(Workbench& w)
{
    changeEach(w, [&](TData& d) { orvala::BoxCarMul(d, w.pool()); });
}

}  // namespace orvala::TransformCommands
