#pragma once
// "Spectrum name": asks the name a spectrum is stored under in the library
// and whether it is divided by its largest value first.
#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace orvala {

class SpectrumNameDialog : public QDialog {
    Q_OBJECT
public:
    explicit SpectrumNameDialog(QWidget* parent = nullptr);

    QLineEdit* sname = nullptr;
    QCheckBox* norm = nullptr;
};

}  // namespace orvala
