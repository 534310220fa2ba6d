#pragma once
// The tables of one principal component analysis: eigenvalues with their
// shares, eigenvectors, and the analysed matrix. A new window per request.
#include <QWidget>

class QTableWidget;

namespace orvala {

class TPca;

class PcaTablesWindow : public QWidget {
    Q_OBJECT
public:
    explicit PcaTablesWindow(QWidget* parent = nullptr);

    // Fills the three grids from pca and sizes them to their contents.
    void Fill(const TPca& pca);

    // A number as the tables write it: fixed with 4 decimals, or exponent
    // notation with 7 significant digits when the integer part has more than 7.
    static QString formatNumber(double v);

    QTableWidget* evals = nullptr;   // "Eigenvalues"
    QTableWidget* evecs = nullptr;   // "Eigenvectors"
    QTableWidget* matrix = nullptr;  // "The Matrix "

private:
    // Height for all rows; columns as wide as their widest text plus the
    // cell margins and one digit.
    static void fitGrid(QTableWidget* grid);
};

}  // namespace orvala
