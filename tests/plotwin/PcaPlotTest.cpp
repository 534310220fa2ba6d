#include <gtest/gtest.h>

#include "PlotFixture.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/TPca.h"
#include "core/PcaFile.h"
#include "core/TDataFilter.h"
#include "core/TGate.h"
#include "geometry/Scales.h"
#include "parallel/TMultiThread.h"
#include "ui/chart/GateTool.h"
#include "ui/plot/PcaTablesWindow.h"
#include "ui/plot/ProjectionPage.h"

using namespace orvala;
using namespace orvala::plottest;

namespace {

// Three parameters driven by one hidden variable t: (1000 + t, 500 + 2t, 300 - t)
// plus a little independent noise, so the first component lies along (1, 2, -1).
void makeCorrelated(TData& d)
{
    uint32_t s = 777;
    auto next = [&s] {
        s = s * 1664525u + 1013904223u;
        return double(s >> 8) / double(1u << 24);
    };
    for (int e = 0; e < d.events(); ++e) {
        const double t = next() * 1000 - 500;
        d.data[e][0] = 1000 + t + (next() - 0.5) * 10;
        d.data[e][1] = 500 + 2 * t + (next() - 0.5) * 10;
        d.data[e][2] = 300 - t + (next() - 0.5) * 10;
    }
}

std::vector<double> columnMeans(const TData& d)
{
    std::vector<double> m(size_t(d.CaseSize()), 0.0);
    for (int e = 0; e < d.events(); ++e)
        for (int p = 0; p < d.CaseSize(); ++p) m[size_t(p)] += d.data[e][p];
    for (double& v : m) v /= d.events();
    return m;
}

// Score of event e on unit direction ev after centring by mean, computed here
// and not through the program's filter.
double score(const TData& d, int e, const std::vector<double>& mean, const TVector& ev)
{
    double s = 0;
    for (int p = 0; p < d.CaseSize(); ++p) s += (d.data[e][p] - mean[size_t(p)]) * ev[size_t(p)];
    return s;
}

struct PcaFixture : PlotFixture {
    PcaFixture()
    {
        makeCorrelated(*root);
        previous = ScatterPlotWindow::setMessageHandler([this](const QString& m) { messages << m; });
    }
    ~PcaFixture() override { ScatterPlotWindow::setMessageHandler(previous); }

    // Ticks every parameter, picks the matrix and presses "PCA".
    ScatterPlotWindow& analysed(int matrixType = TPca::Covariation)
    {
        ScatterPlotWindow& w = open(root);
        w.Control->SelectAll->click();
        w.Control->MatrixType->button(matrixType)->setChecked(true);
        w.Control->PCAbtn->click();
        return w;
    }

    QStringList messages;
    ScatterPlotWindow::MessageHandler previous;
};

// Contours in component space pass through directions that are unit length
// only to rounding, so their vertices match the gate's to rounding too.
void expectClose(const std::vector<double>& got, const std::vector<double>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-9 * (1 + std::fabs(want[i]))) << i;
}

std::vector<QString> texts(const QListWidget* list)
{
    std::vector<QString> out;
    for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text());
    return out;
}

}  // namespace

TEST_F(PcaFixture, PcaButtonFindsTheDominantComponentAndFillsTheLists)
{
    ScatterPlotWindow& w = analysed();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(" | ").toStdString();
    ASSERT_TRUE(w.fpca);
    ASSERT_EQ(w.fpca->Count(), 3);
    const TVector& ev = w.fpca->evals;
    EXPECT_GT(ev[0], 0.99 * (ev[0] + ev[1] + ev[2]));
    // The first eigenvector points along (1, 2, -1) / sqrt 6, with a non-negative sum.
    const double r6 = std::sqrt(6.0);
    EXPECT_NEAR(w.fpca->evects[0][0], 1 / r6, 2e-3);
    EXPECT_NEAR(w.fpca->evects[0][1], 2 / r6, 2e-3);
    EXPECT_NEAR(w.fpca->evects[0][2], -1 / r6, 2e-3);

    ASSERT_TRUE(root->filter);
    EXPECT_EQ(root->filter->FIndices, (TIntVector{0, 1, 2}));
    EXPECT_EQ(root->filter->PCAType, TPca::Covariation);
    const std::vector<QString> pcs{"PC0", "PC1", "PC2"};
    EXPECT_EQ(texts(w.Control->pxlist), pcs);
    EXPECT_EQ(texts(w.Control->pylist), pcs);
    EXPECT_EQ(PlotControlPanel::ticked(w.Control->pxlist), std::vector<int>{0});
    EXPECT_EQ(PlotControlPanel::ticked(w.Control->pylist), std::vector<int>{1});
    // The "Scatter" lists gain the components, keeping what was ticked there.
    EXPECT_EQ(texts(w.Control->xlist), (std::vector<QString>{"Ch1", "Ch2", "Ch3", "PC0", "PC1", "PC2"}));
    EXPECT_EQ(PlotControlPanel::ticked(w.Control->xlist), std::vector<int>{0});
    EXPECT_EQ(PlotControlPanel::ticked(w.Control->ylist), std::vector<int>{1});

    // Correlation of the same data: the first eigenvalue still carries nearly everything.
    w.Control->MatrixType->button(TPca::Correlation)->setChecked(true);
    w.Control->PCAbtn->click();
    ASSERT_EQ(w.fpca->Count(), 3);
    EXPECT_GT(w.fpca->evals[0], 0.99 * 3);
    EXPECT_EQ(root->filter->PCAType, TPca::Correlation);
}

TEST_F(PcaFixture, RefusedRunsChangeNothingAndSayWhy)
{
    ScatterPlotWindow& w = open(root);
    struct Case {
        std::vector<int> ticked;
        bool hyper;
        const char* message;
    };
    const std::vector<Case> cases{
        {{1}, false, "PCA needs at least two parameters"},
        {{0, 2}, true, "PCA in Hyperspherical coordinates needs at least 3 parameters"},
    };
    for (const Case& c : cases) {
        messages.clear();
        w.Control->Button1->click();
        for (int i : c.ticked) w.Control->params->item(i)->setCheckState(Qt::Checked);
        w.Control->Hyper->setChecked(c.hyper);
        EXPECT_FALSE(w.DoPCA());
        EXPECT_EQ(messages, QStringList{QString::fromLatin1(c.message)});
        EXPECT_FALSE(w.fpca);
        EXPECT_FALSE(root->filter);
        EXPECT_EQ(w.Control->pxlist->count(), 0);
    }
    window.reset();

    TData* empty = TData::Create("empty", 3, 0);
    workspace->Add(empty);
    ScatterPlotWindow& e = open(empty);
    messages.clear();
    e.Control->SelectAll->click();
    EXPECT_FALSE(e.DoPCA());
    EXPECT_EQ(messages, QStringList{QStringLiteral("Void data file")});
    EXPECT_FALSE(empty->filter);
}

TEST_F(PcaFixture, RedrawRunsThePcaOnlyOnThePcaPage)
{
    ScatterPlotWindow& w = open(root);
    w.Control->SelectAll->click();
    w.Control->Redrawbutt->click();
    EXPECT_FALSE(w.fpca);
    EXPECT_TRUE(w.ScatterMode);
    w.Control->pages->setCurrentIndex(PlotControlPanel::PcaPage);
    EXPECT_FALSE(w.ScatterMode);
    w.Control->Redrawbutt->click();
    ASSERT_TRUE(w.fpca);
    // The "PCA" page draws in component coordinates: PC0 against PC1.
    ASSERT_NE(w.serdat, Chart::NoSeries);
    EXPECT_EQ(w.chart()->axisTitle(ChartAxis::Bottom), QStringLiteral("PC0"));
    EXPECT_EQ(w.chart()->axisTitle(ChartAxis::Left), QStringLiteral("PC1"));
}

TEST_F(PcaFixture, ComponentModePlotsTheScoresOfTheTickedComponents)
{
    ScatterPlotWindow& w = analysed();
    const std::vector<double> mean = columnMeans(*root);
    const TVector ev0 = w.fpca->evects[0], ev1 = w.fpca->evects[1], ev2 = w.fpca->evects[2];
    w.Control->pages->setCurrentIndex(PlotControlPanel::ComponentsPage);
    w.DrawData();
    EXPECT_FALSE(w.ScatterMode);
    ASSERT_NE(w.serdat, Chart::NoSeries);
    const Chart* c = w.chart();
    ASSERT_EQ(c->pointCount(w.serdat), root->events());
    for (int e : {0, 1, 1234, 2999}) {
        EXPECT_NEAR(c->point(w.serdat, e).x(), score(*root, e, mean, ev0), 1e-6) << e;
        EXPECT_NEAR(c->point(w.serdat, e).y(), score(*root, e, mean, ev1), 1e-6) << e;
    }

    // Two components on y: their normalised sum; "lin->log" on x scales the scores.
    w.Control->pylist->item(2)->setCheckState(Qt::Checked);
    w.Control->pxlin->setChecked(true);
    w.DrawData();
    EXPECT_EQ(c->axisTitle(ChartAxis::Left), QStringLiteral("PC1+PC2"));
    for (int e : {3, 2500}) {
        EXPECT_NEAR(c->point(w.serdat, e).x(), LinToLog(score(*root, e, mean, ev0)), 1e-6);
        EXPECT_NEAR(c->point(w.serdat, e).y(),
                    (score(*root, e, mean, ev1) + score(*root, e, mean, ev2)) / std::sqrt(2.0), 1e-6);
    }

    // Only x ticked: a histogram of PC0 over every event.
    w.Control->pxlin->setChecked(false);
    for (int i = 0; i < 3; ++i) w.Control->pylist->item(i)->setCheckState(Qt::Unchecked);
    w.DrawData();
    EXPECT_EQ(w.serdat, Chart::NoSeries);
    EXPECT_EQ(c->axisTitle(ChartAxis::Bottom), QStringLiteral("PC0"));
    EXPECT_EQ(c->axisTitle(ChartAxis::Left), QStringLiteral("Freq"));
    ASSERT_EQ(c->seriesCount(), 1);
    double total = 0;
    for (double v : c->yValues(c->seriesAt(0))) total += v;
    EXPECT_EQ(total, root->events());
    const std::vector<double> xs = c->xValues(c->seriesAt(0));
    // The bins span the spread of the first component (about +-1225), not the raw values.
    EXPECT_LT(xs.front(), -1000);
    EXPECT_GT(xs.back(), 1000);

    // Back on "Scatter": the raw parameters again.
    w.Control->pages->setCurrentIndex(PlotControlPanel::ScatterPage);
    w.DrawData();
    EXPECT_TRUE(w.ScatterMode);
    EXPECT_DOUBLE_EQ(c->point(w.serdat, 5).x(), root->data[5][0]);
}

TEST_F(PcaFixture, PolygonInComponentModeMakesAPcaGateChild)
{
    ScatterPlotWindow& w = analysed();
    const std::vector<double> mean = columnMeans(*root);
    const TVector ev0 = w.fpca->evects[0], ev1 = w.fpca->evects[1];
    w.Control->pages->setCurrentIndex(PlotControlPanel::ComponentsPage);
    w.Control->pylin->setChecked(true);
    w.DrawData();
    const Chart* c = w.chart();
    const double x0 = c->axisMinimum(ChartAxis::Bottom), x1 = c->axisMaximum(ChartAxis::Bottom);
    const double y0 = c->axisMinimum(ChartAxis::Left), y1 = c->axisMaximum(ChartAxis::Left);
    auto at = [&](double fx, double fy) { return QPointF(x0 + fx * (x1 - x0), y0 + fy * (y1 - y0)); };
    // Concave, over the middle of the cloud.
    const std::vector<QPointF> drawn =
        drawPolygon({at(0.2, 0.2), at(0.8, 0.25), at(0.5, 0.45), at(0.75, 0.8), at(0.25, 0.75)});
    ASSERT_EQ(workspace->Count(), 2);
    TData* kid = workspace->GetData(1);
    ASSERT_TRUE(kid->gate);
    const TGate& g = *kid->gate;
    EXPECT_EQ(g.kind, TGateType::gtPCAGate);
    ASSERT_TRUE(g.filter);
    EXPECT_NE(g.filter.get(), root->filter.get());
    EXPECT_EQ(g.filter->Fevects, root->filter->Fevects);
    EXPECT_EQ(g.filter->FMean, root->filter->FMean);
    EXPECT_TRUE(g.linlogy);
    EXPECT_FALSE(g.linlogx || g.loglinx || g.logliny);
    EXPECT_EQ(g.x.size(), 3u);

    // An even-odd test of the drawn outline on scores computed here.
    std::vector<double> vx, vy;
    for (const QPointF& p : drawn) vx.push_back(p.x()), vy.push_back(p.y());
    TIntVector want;
    for (int e = 0; e < root->events(); ++e)
        if (evenOdd(score(*root, e, mean, ev0), LinToLog(score(*root, e, mean, ev1)), vx, vy)) want.push_back(e);
    EXPECT_GT(want.size(), 100u);
    EXPECT_LT(want.size(), size_t(root->events()) - 100);
    EXPECT_EQ(kid->link, want);

    // Drawn back in its own space, not over the raw parameters.
    QCoreApplication::sendPostedEvents(&w);
    ASSERT_EQ(w.gateTool()->ContourCount(), 1);
    expectClose(w.chart()->xValues(w.gateTool()->Contours(0)), g.cx);
    expectClose(w.chart()->yValues(w.gateTool()->Contours(0)), g.cy);
    w.Control->pages->setCurrentIndex(PlotControlPanel::ScatterPage);
    w.DrawData();
    EXPECT_EQ(w.gateTool()->ContourCount(), 0);

    // A new analysis changes the data set's filter, not the gate's copy; the
    // gate is then no longer drawn in the new space.
    const TMatrix before = g.filter->Fevects;
    w.Control->params->item(2)->setCheckState(Qt::Unchecked);
    ASSERT_TRUE(w.DoPCA());
    EXPECT_EQ(g.filter->Fevects, before);
    w.Control->pages->setCurrentIndex(PlotControlPanel::ComponentsPage);
    w.DrawData();
    EXPECT_EQ(w.gateTool()->ContourCount(), 0);

    // A new window on the data set gets a page for the component-space child.
    window.reset();
    ScatterPlotWindow& again = open(root);
    ASSERT_EQ(again.Control->pages->count(), 4);
    EXPECT_EQ(again.Control->pages->tabText(3), QString::fromStdString(kid->ShortName()));
    auto* t = qobject_cast<ProjectionPage*>(again.Control->pages->widget(3));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->data(), kid);
    EXPECT_EQ(t->Filter(), kid->gate->filter.get());
    // On that page the child's contour is drawn again, in the gate's own space.
    again.Control->pages->setCurrentIndex(3);
    t->ylin->setChecked(true);
    again.DrawData();
    ASSERT_EQ(again.gateTool()->ContourCount(), 1);
    expectClose(again.chart()->yValues(again.gateTool()->Contours(0)), kid->gate->cy);
}

TEST_F(PcaFixture, SavedPcaLoadsAsAPageOfItsOwn)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("cells.pca"));
    {
        ScatterPlotWindow& w = open(root);
        EXPECT_FALSE(w.SavePCAFile(path));  // no filter yet: nothing written
        EXPECT_FALSE(QFile::exists(path));
    }
    ScatterPlotWindow& w = analysed();
    ASSERT_TRUE(w.SavePCAFile(path));
    w.Control->pages->setCurrentIndex(PlotControlPanel::ComponentsPage);
    w.DrawData();
    const std::vector<double> px = w.chart()->xValues(w.serdat), py = w.chart()->yValues(w.serdat);

    // Loaded into a window on another data set of the same parameters.
    TData* other = TData::Create("other", 3, 500);
    for (int e = 0; e < 500; ++e)
        for (int p = 0; p < 3; ++p) other->data[e][p] = root->data[e + 7][p];
    workspace->Add(other);
    window.reset();
    ScatterPlotWindow& o = open(other);
    EXPECT_FALSE(other->filter);
    ASSERT_EQ(o.LoadPCAFiles({path}), 1);
    EXPECT_TRUE(messages.isEmpty());
    ASSERT_EQ(o.Control->pages->count(), 4);
    EXPECT_EQ(o.Control->pages->tabText(3), QStringLiteral("other"));
    auto* t = qobject_cast<ProjectionPage*>(o.Control->pages->widget(3));
    ASSERT_TRUE(t);
    ASSERT_TRUE(t->filter());
    EXPECT_EQ(t->data(), nullptr);
    EXPECT_EQ(t->filter()->Fevects, root->filter->Fevects);
    EXPECT_EQ(texts(t->xlist), (std::vector<QString>{"PC0", "PC1", "PC2"}));
    o.Control->pages->setCurrentIndex(3);
    o.DrawData();
    ASSERT_NE(o.serdat, Chart::NoSeries);
    // The events of the other data set land where the same events lay in the first window.
    for (int e : {0, 100, 499}) {
        EXPECT_DOUBLE_EQ(o.chart()->point(o.serdat, e).x(), px[size_t(e + 7)]);
        EXPECT_DOUBLE_EQ(o.chart()->point(o.serdat, e).y(), py[size_t(e + 7)]);
    }
    // Its filter is a copy: the data set got none.
    EXPECT_FALSE(other->filter);
}

TEST_F(PcaFixture, DamagedPcaFileGivesAMessageAndNoPage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString good = dir.filePath(QStringLiteral("good.pca"));
    ScatterPlotWindow& w = analysed();
    ASSERT_TRUE(w.SavePCAFile(good));
    QFile f(good);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    f.close();
    const QString cut = dir.filePath(QStringLiteral("cut.pca"));
    QFile c(cut);
    ASSERT_TRUE(c.open(QIODevice::WriteOnly));
    c.write(bytes.left(bytes.size() - 9));
    c.close();

    const int pages = w.Control->pages->count();
    messages.clear();
    EXPECT_EQ(w.LoadPCAFiles({cut, dir.filePath(QStringLiteral("missing.pca")), good}), 1);
    EXPECT_EQ(w.Control->pages->count(), pages + 1);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("cut.pca"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("damaged"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[1].contains(QStringLiteral("missing.pca"))) << messages[1].toStdString();
}

TEST_F(PcaFixture, TablesHoldTheEigenvaluesVectorsAndMatrix)
{
    ScatterPlotWindow& w = open(root);
    EXPECT_EQ(w.ShowTables(), nullptr);  // no analysis in this window yet
    EXPECT_FALSE(w.Control->ShowTables->isEnabled());
    w.Control->SelectAll->click();
    w.Control->MatrixType->button(TPca::Covariation)->setChecked(true);
    w.Control->PCAbtn->click();
    ASSERT_TRUE(w.fpca);
    EXPECT_TRUE(w.Control->ShowTables->isEnabled());
    const TPca& p = *w.fpca;
    QPointer<PcaTablesWindow> t = w.ShowTables();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->windowTitle(), QStringLiteral("Pcadata"));

    const QTableWidget* ev = t->evals;
    ASSERT_EQ(ev->rowCount(), 3);
    ASSERT_EQ(ev->columnCount(), 4);
    EXPECT_EQ(ev->item(0, 0)->text(), QStringLiteral("Eigenvalues"));
    EXPECT_EQ(ev->item(1, 0)->text(), QStringLiteral("Pecent"));
    EXPECT_EQ(ev->item(2, 0)->text(), QStringLiteral("Cum Percent"));
    const double sum = p.evals[0] + p.evals[1] + p.evals[2];
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ev->item(0, i + 1)->text(), PcaTablesWindow::formatNumber(p.evals[size_t(i)]));
        EXPECT_NEAR(ev->item(1, i + 1)->text().toDouble(), 100 * p.evals[size_t(i)] / sum, 1e-4);
    }
    EXPECT_EQ(ev->item(2, 3)->text(), QStringLiteral("100.0000"));

    const QTableWidget* vecs = t->evecs;
    ASSERT_EQ(vecs->rowCount(), 3);
    ASSERT_EQ(vecs->columnCount(), 4);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(vecs->item(r, 0)->text(), QStringLiteral("PC") + QString::number(r));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(vecs->item(r, i + 1)->text(), PcaTablesWindow::formatNumber(p.evects[size_t(i)][size_t(r)]));
    }

    const QTableWidget* m = t->matrix;
    ASSERT_EQ(m->rowCount(), 4);
    ASSERT_EQ(m->columnCount(), 4);
    EXPECT_EQ(m->item(0, 2)->text(), QStringLiteral("Ch2"));
    EXPECT_EQ(m->item(3, 0)->text(), QStringLiteral("Ch3"));
    EXPECT_EQ(m->item(1, 2)->text(), PcaTablesWindow::formatNumber(p.cormat[0][1]));

    // Heights follow the rows; every filled column fits its widest text.
    for (const QTableWidget* g : {ev, vecs, m}) {
        EXPECT_EQ(g->height(), (g->rowHeight(0) + 1) * (g->rowCount() + 1) + 1);
        for (int col = 0; col < g->columnCount(); ++col)
            for (int r = 0; r < g->rowCount(); ++r) {
                if (!g->item(r, col)) continue;
                EXPECT_GT(g->columnWidth(col), g->fontMetrics().horizontalAdvance(g->item(r, col)->text()));
            }
    }

    // Every request opens a new window.
    QPointer<PcaTablesWindow> second = w.ShowTables();
    ASSERT_TRUE(second);
    EXPECT_NE(second.data(), t.data());
    t->close();
    second->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(t.isNull());
    EXPECT_TRUE(second.isNull());
}

TEST(PcaTables, NumbersAreFixedWithFourDecimalsUnderAnyLocale)
{
    struct Case {
        double v;
        const char* text;
    };
    const std::vector<Case> cases{
        {1234.56789, "1234.5679"}, {-0.5, "-0.5000"}, {0, "0.0000"}, {9999999.5, "9999999.5000"},
        {12345678.9, "1.234568E+07"}, {-3e12, "-3.000000E+12"},
    };
    auto check = [&] {
        for (const Case& c : cases) EXPECT_EQ(PcaTablesWindow::formatNumber(c.v), QString::fromLatin1(c.text)) << c.v;
    };
    check();
    // A comma-decimal locale must not leak into the tables.
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_ALL, name)) {
            check();
            break;
        }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(PcaFixture, PanelControlsOfTheComponentPages)
{
    ScatterPlotWindow& w = open(root);
    PlotControlPanel* p = w.Control;
    EXPECT_EQ(p->pages->tabText(PlotControlPanel::PcaPage), QStringLiteral("PCA"));
    EXPECT_EQ(p->pages->tabText(PlotControlPanel::ScatterPage), QStringLiteral("Scatter"));
    EXPECT_EQ(p->pages->tabText(PlotControlPanel::ComponentsPage), QStringLiteral("P. Components"));
    EXPECT_EQ(p->pages->currentIndex(), PlotControlPanel::ScatterPage);
    EXPECT_EQ(texts(p->params), (std::vector<QString>{"Ch1", "Ch2", "Ch3"}));
    p->SelectAll->click();
    EXPECT_EQ(PlotControlPanel::ticked(p->params), (std::vector<int>{0, 1, 2}));
    p->Button1->click();
    EXPECT_TRUE(PlotControlPanel::ticked(p->params).empty());
    EXPECT_EQ(p->matrixType(), TPca::Correlation);
    EXPECT_EQ(p->normal->text(), QStringLiteral("Normalize "));
    EXPECT_EQ(p->normal->toolTip(), QStringLiteral("make all vector lengths = 1"));
    // Scale boxes of each component axis exclude each other.
    for (auto [log, lin] : {std::pair{p->pxlog, p->pxlin}, std::pair{p->pylog, p->pylin}}) {
        log->setChecked(true);
        lin->setChecked(true);
        EXPECT_FALSE(log->isChecked());
        log->setChecked(true);
        EXPECT_FALSE(lin->isChecked());
        log->setChecked(false);
        EXPECT_FALSE(lin->isChecked());
    }
}

TEST_F(PcaFixture, ShowLabelsLabelsEveryPointWithItsNameOrNumber)
{
    ScatterPlotWindow& w = open(root);
    const Chart* c = w.chart();
    EXPECT_TRUE(w.Control->Labels->isEnabled());
    EXPECT_EQ(w.Control->Labels->text(), QStringLiteral("Show Labels"));
    // Nothing is labelled until asked for.
    EXPECT_TRUE(c->pointLabel(w.serdat, 5).isEmpty());
    w.Control->Labels->setChecked(true);
    EXPECT_TRUE(c->labelsVisible(w.serdat));
    EXPECT_EQ(c->pointLabel(w.serdat, 0), QStringLiteral("0"));
    EXPECT_EQ(c->pointLabel(w.serdat, 2999), QStringLiteral("2999"));
    w.Control->Labels->setChecked(false);
    EXPECT_FALSE(c->labelsVisible(w.serdat));

    // One name per event: the names, also on a redrawn series and in component mode.
    root->Eventnames.clear();
    for (int e = 0; e < root->events(); ++e) root->Eventnames.push_back("cell " + std::to_string(e));
    root->Eventnames[1] = "na\xefve";  // not UTF-8: read as Latin-1
    w.Control->Labels->setChecked(true);
    w.Control->SelectAll->click();
    w.Control->PCAbtn->click();
    w.Control->pages->setCurrentIndex(PlotControlPanel::ComponentsPage);
    w.DrawData();
    ASSERT_NE(w.serdat, Chart::NoSeries);
    EXPECT_TRUE(c->labelsVisible(w.serdat));
    EXPECT_EQ(c->pointLabel(w.serdat, 7), QStringLiteral("cell 7"));
    EXPECT_EQ(c->pointLabel(w.serdat, 1), QString::fromLatin1("na\xefve"));
}

TEST_F(PcaFixture, RangeGateAndEditedContourInComponentModeUseTheFilter)
{
    ScatterPlotWindow& w = analysed();
    const std::vector<double> mean = columnMeans(*root);
    const TVector ev0 = w.fpca->evects[0], ev1 = w.fpca->evects[1];
    w.Control->pages->setCurrentIndex(PlotControlPanel::ComponentsPage);
    w.SetXY(0, 0);  // the "Scatter" lists do not matter here
    w.Control->pylist->item(1)->setCheckState(Qt::Unchecked);
    w.DrawData();
    ASSERT_EQ(w.serdat, Chart::NoSeries);  // a histogram of PC0
    w.markersClick();
    w.setMarkerPositions(300, -200);
    w.OneDGateClick();
    ASSERT_EQ(workspace->Count(), 2);
    TData* range = workspace->GetData(1);
    EXPECT_EQ(range->gate->kind, TGateType::gtPCAGate);
    TIntVector want;
    for (int e = 0; e < root->events(); ++e) {
        const double s = score(*root, e, mean, ev0);
        if (s >= -200 && s <= 300) want.push_back(e);
    }
    EXPECT_GT(want.size(), 100u);
    EXPECT_EQ(range->link, want);
    QCoreApplication::sendPostedEvents(&w);

    // A polygon, then one vertex pulled outward: the child follows in component space.
    w.Control->pylist->item(1)->setCheckState(Qt::Checked);
    w.DrawData();
    const Chart* c = w.chart();
    const double x0 = c->axisMinimum(ChartAxis::Bottom), x1 = c->axisMaximum(ChartAxis::Bottom);
    const double y0 = c->axisMinimum(ChartAxis::Left), y1 = c->axisMaximum(ChartAxis::Left);
    auto at = [&](double fx, double fy) { return QPointF(x0 + fx * (x1 - x0), y0 + fy * (y1 - y0)); };
    drawPolygon({at(0.2, 0.3), at(0.8, 0.3), at(0.5, 0.5)});
    ASSERT_EQ(workspace->Count(), 3);
    TData* kid = workspace->GetData(2);
    QCoreApplication::sendPostedEvents(&w);
    ASSERT_EQ(w.gateTool()->ContourCount(), 1);
    const int before = kid->events();
    EXPECT_GT(before, 10);
    const Chart::SeriesId contour = w.gateTool()->Contours(0);
    std::vector<double> x = w.chart()->xValues(contour), y = w.chart()->yValues(contour);
    y[2] = y0 + 0.9 * (y1 - y0);
    w.chart()->setPoints(contour, x, y);
    emit w.gateTool()->OnRegate(contour);
    EXPECT_GT(kid->events(), before);
    TIntVector inside;
    for (int e = 0; e < root->events(); ++e)
        if (evenOdd(score(*root, e, mean, ev0), score(*root, e, mean, ev1), kid->gate->cx, kid->gate->cy))
            inside.push_back(e);
    EXPECT_EQ(kid->link, inside);
    EXPECT_EQ(kid->gate->kind, TGateType::gtPCAGate);
}

TEST(PcaTables, SharesStayEmptyWhenTheEigenvaluesSumToZero)
{
    app();
    TPca p;
    p.evals = {0, 0};
    p.evects = {{1, 0}, {0, 1}};
    p.cormat = {{0, 0}, {0, 0}};
    p.Parnames = {"A", "B"};
    PcaTablesWindow t;
    t.Fill(p);
    ASSERT_EQ(t.evals->columnCount(), 3);
    EXPECT_EQ(t.evals->item(0, 1)->text(), QStringLiteral("0.0000"));
    for (int col = 1; col < 3; ++col) {
        EXPECT_EQ(t.evals->item(1, col), nullptr);
        EXPECT_EQ(t.evals->item(2, col), nullptr);
    }
    EXPECT_EQ(t.matrix->item(0, 1)->text(), QStringLiteral("A"));
    EXPECT_EQ(t.matrix->item(2, 0)->text(), QStringLiteral("B"));
}

TEST_F(PcaFixture, LargeDataSetsAreProjectedInChunksWithoutLosingAnEvent)
{
    // Enough events for the projection to be split over the worker pool.
    TData* big = TData::Create("big", 3, 150001);
    makeCorrelated(*big);
    workspace->Add(big);
    TMultiThread pool(3);
    window = std::make_unique<ScatterPlotWindow>(big, &pool);
    notifier.target = window.get();
    ScatterPlotWindow& w = *window;
    w.Control->SelectAll->click();
    w.Control->MatrixType->button(TPca::Covariation)->setChecked(true);
    ASSERT_TRUE(w.DoPCA());
    w.Control->pages->setCurrentIndex(PlotControlPanel::ComponentsPage);
    w.DrawData();
    ASSERT_NE(w.serdat, Chart::NoSeries);
    const std::vector<double> mean = columnMeans(*big);
    const std::vector<double> x = w.chart()->xValues(w.serdat), y = w.chart()->yValues(w.serdat);
    ASSERT_EQ(x.size(), size_t(big->events()));
    for (int e = 0; e < big->events(); ++e) {
        ASSERT_NEAR(x[size_t(e)], score(*big, e, mean, w.fpca->evects[0]), 1e-6) << e;
        ASSERT_NEAR(y[size_t(e)], score(*big, e, mean, w.fpca->evects[1]), 1e-6) << e;
    }
    window.reset();
}

TEST_F(PcaFixture, HypersphericalAnalysisWorksOnTheAngles)
{
    ScatterPlotWindow& w = open(root);
    w.Control->SelectAll->click();
    w.Control->Hyper->setChecked(true);
    w.Control->normal->setChecked(true);
    w.Control->PCAbtn->click();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(" | ").toStdString();
    ASSERT_TRUE(w.fpca);
    // Three parameters give two angles once the radius is dropped.
    ASSERT_EQ(w.fpca->Count(), 2);
    EXPECT_EQ(w.fpca->Parnames, (TStrVector{"PHI0", "PHI1"}));
    EXPECT_EQ(texts(w.Control->pxlist), (std::vector<QString>{"PC0", "PC1"}));
    ASSERT_TRUE(root->filter->Hyper && root->filter->Normalized);
    QPointer<PcaTablesWindow> t = w.ShowTables();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->matrix->item(0, 1)->text(), QStringLiteral("PHI0"));
    EXPECT_EQ(t->matrix->item(2, 0)->text(), QStringLiteral("PHI1"));
    t->close();
    w.Control->pages->setCurrentIndex(PlotControlPanel::ComponentsPage);
    w.DrawData();
    ASSERT_NE(w.serdat, Chart::NoSeries);
    EXPECT_EQ(w.chart()->pointCount(w.serdat), root->events());
    for (double v : w.chart()->xValues(w.serdat)) ASSERT_TRUE(std::isfinite(v));
}
