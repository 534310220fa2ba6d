#include "PcaTablesWindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "analysis/TPca.h"

namespace orvala {

namespace {

QTableWidget* makeGrid()
{
    auto* g = new QTableWidget;
    // The labels are cells of the grid itself, as in the saved tables users copy from.
    g->horizontalHeader()->hide();
    g->verticalHeader()->hide();
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return g;
}

void put(QTableWidget* g, int row, int col, const QString& text)
{
    g->setItem(row, col, new QTableWidgetItem(text));
}

}  // namespace

PcaTablesWindow::PcaTablesWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Pcadata"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* l = new QVBoxLayout(this);
    evals = makeGrid();
    evecs = makeGrid();
    matrix = makeGrid();
    l->addWidget(new QLabel(QStringLiteral("Eigenvalues")));
    l->addWidget(evals);
    l->addWidget(new QLabel(QStringLiteral("Eigenvectors")));
    l->addWidget(evecs);
    l->addWidget(new QLabel(QStringLiteral("The Matrix ")));
    l->addWidget(matrix);
    l->addStretch(1);
    resize(640, 480);
}

QString PcaTablesWindow::formatNumber(double v)
{
    if (std::isnan(v)) return QStringLiteral("NAN");
    if (std::isinf(v)) return v > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    char buf[64];
    // Precision 7: more integer digits than that switch to exponent notation.
    const auto r = std::fabs(v) < 1e7 ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4)
                                      : std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 6);
    return QString::fromLatin1(buf, int(r.ptr - buf)).toUpper();
}

void PcaTablesWindow::Fill(const TPca& pca)
{
    const int m = int(pca.evals.size());
    TVector percent, cumulative;
    pca.EigenvalueShares(percent, cumulative);

    evals->clear();
    evals->setRowCount(3);
    evals->setColumnCount(m + 1);
    put(evals, 0, 0, QStringLiteral("Eigenvalues"));
    put(evals, 1, 0, QStringLiteral("Pecent"));
    put(evals, 2, 0, QStringLiteral("Cum Percent"));
    for (int i = 0; i < m; ++i) {
        put(evals, 0, i + 1, formatNumber(pca.evals[size_t(i)]));
        // Shares only when the eigenvalues do not sum to 0.
        if (size_t(i) < percent.size()) {
            put(evals, 1, i + 1, formatNumber(percent[size_t(i)]));
            put(evals, 2, i + 1, formatNumber(cumulative[size_t(i)]));
        }
    }

    const int n = pca.Count();
    evecs->clear();
    evecs->setRowCount(n);
    evecs->setColumnCount(n + 1);
    for (int r = 0; r < n; ++r) {
        put(evecs, r, 0, QStringLiteral("PC") + QString::number(r));
        // Column i + 1 holds eigenvector i down the rows.
        for (int i = 0; i < n; ++i)
            if (size_t(r) < pca.evects[size_t(i)].size()) put(evecs, r, i + 1, formatNumber(pca.evects[size_t(i)][size_t(r)]));
    }

    const int k = int(pca.cormat.size());
    matrix->clear();
    matrix->setRowCount(k + 1);
    matrix->setColumnCount(k + 1);
    for (int i = 0; i < k; ++i) {
        const QString name =
            size_t(i) < pca.Parnames.size() ? QString::fromStdString(pca.Parnames[size_t(i)]) : QString();
        put(matrix, 0, i + 1, name);
        put(matrix, i + 1, 0, name);
        for (int j = 0; j < k && size_t(j) < pca.cormat[size_t(i)].size(); ++j)
            put(matrix, i + 1, j + 1, formatNumber(pca.cormat[size_t(i)][size_t(j)]));
    }

    for (QTableWidget* g : {evals, evecs, matrix}) fitGrid(g);
}

void PcaTablesWindow::fitGrid(QTableWidget* g)
{
    const int row0 = g->rowCount() > 0 ? g->rowHeight(0) : g->verticalHeader()->defaultSectionSize();
    g->setFixedHeight((row0 + 1) * (g->rowCount() + 1) + 1);
    const QFontMetrics fm = g->fontMetrics();
    const int margins = 2 * (g->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, g) + 1);
    const int digit = fm.horizontalAdvance(QLatin1Char('0'));
    for (int c = 0; c < g->columnCount(); ++c) {
        int widest = -1;
        for (int r = 0; r < g->rowCount(); ++r)
            if (const QTableWidgetItem* it = g->item(r, c); it && !it->text().isEmpty())
                widest = std::max(widest, fm.horizontalAdvance(it->text()));
        // A column without any text keeps the default width.
        if (widest >= 0) g->setColumnWidth(c, widest + margins + digit);
    }
}

}  // namespace orvala
