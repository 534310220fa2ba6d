#pragma once
// "Data Calculator": a copy of one data set with the mean spectrum of another
// subtracted or added. The boxes list the data sets by short name; the
// choice is kept by position, since short names repeat.
#include <QDialog>
#include <vector>

#include "core/TData.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace orvala {

class TMultiThread;

class DataCalculatorDialog : public QDialog {
    Q_OBJECT
public:
    explicit DataCalculatorDialog(TMultiThread* pool = nullptr, QWidget* parent = nullptr);

    // Lists datas, asks modally and returns the new data set (reference
    // count 0), or nil when datas is empty or the dialog is cancelled.
    // Throws OrvalaError when the chosen B has no events.
    TData* Execute(const std::vector<TData*>& datas);

    // The steps of Execute around the modal question, for callers that ask
    // in their own way: fills both boxes (one reference held per data set
    // until the next call), selecting the first entries ...
    void setDatas(const std::vector<TData*>& datas);
    // ... and makes the result of the current choice.
    TData* result();

    QComboBox* Data1 = nullptr;
    QComboBox* Data2 = nullptr;
    QComboBox* OPer = nullptr;
    QLineEdit* DataResult = nullptr;
    QPushButton* okButton = nullptr;

private:
    void proposeName();

    TMultiThread* pool_;
    std::vector<DataRef> datas_;
    bool nameEdited_ = false;
};

}  // namespace orvala
