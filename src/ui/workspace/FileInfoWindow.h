#pragma once
// "View": the FCS file-information window. Shows the raw keywords of one data
// set of a file and a table of its parameter keywords, read without values.
#include <QWidget>
#include <memory>

class QComboBox;
class QLineEdit;
class QTableWidget;

namespace orvala {

class TFCStream;

class FileInfoWindow : public QWidget {
    Q_OBJECT
public:
    explicit FileInfoWindow(QWidget* parent = nullptr);
    ~FileInfoWindow() override;

    // Shows the window and data set datasetnum (0-based) of the file. A file the
    // reader finds bad hides the window and says "File <name> seems to be bad!".
    void ShowFile(const QString& fileName, int datasetnum);
    // Displays data set i (0-based) of the file shown.
    void Display(int i);

    QComboBox* DataSetBox = nullptr;
    QLineEdit* Mode = nullptr;
    QLineEdit* Sample = nullptr;
    QLineEdit* Cyt = nullptr;
    QLineEdit* Inst = nullptr;
    QLineEdit* Date = nullptr;
    QLineEdit* Operator = nullptr;
    QLineEdit* Events = nullptr;
    QTableWidget* RawHeader = nullptr;
    QTableWidget* ParGrid = nullptr;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    std::unique_ptr<TFCStream> stream_;
};

}  // namespace orvala
