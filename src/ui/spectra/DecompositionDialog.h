#pragma once
// "Decomposition": the channels of one data set and the entries of the
// spectra library, both ticked by the user; "OK" unmixes the data set with
// the ticked spectra at the ticked channels and adds the result to the data
// list. The library is open while the dialog is shown and saved when it hides.
#include <QDialog>
#include <memory>

class QCheckBox;
class QListWidget;
class QPushButton;

namespace orvala {

class Workbench;
class TData;
class TDBSpec;

class DecompositionDialog : public QDialog {
    Q_OBJECT
public:
    // libraryPath: the user's "specs.dat"; defaultPath: a read-only library
    // read while the user's does not exist yet (may be empty).
    DecompositionDialog(Workbench* bench, QString libraryPath, QString defaultPath, QWidget* parent = nullptr);
    ~DecompositionDialog() override;

    // Fills the channel list with data's parameter names, all ticked. The
    // dialog keeps a reference to data until the next Take or its end.
    void Take(TData* data);
    // Opens the library and lists its entries; false (message shown) when
    // the file is damaged: the command is then abandoned.
    bool openLibrary();
    // Saves (when changed) and closes the library; errors are shown.
    void closeLibrary();

    // "OK": unmixes; on success adds the result, hides the dialog and returns it.
    TData* runOk();
    // "Delete checked": removes the ticked entries and saves the library.
    void deleteChecked();
    // "Import...": adds the spectra of a CSV table (header of detector names,
    // one spectrum a row) as library entries over this data set's channels,
    // and ticks the channels they cover and the new entries.
    void importCsv(const QString& fileName);

    // The user's "specs.dat" and the read-only default beside the program.
    static QString UserLibraryPath();
    static QString DefaultLibraryPath();

    QListWidget* parlist = nullptr;
    QListWidget* List = nullptr;
    QCheckBox* nonNegative = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* importButton = nullptr;
    TData* lastResult = nullptr;  // the data set the last "OK" added; not owned

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void listEntries();
    void showEntry(int row);

    Workbench* bench_;
    QString libraryPath_, defaultPath_;
    std::unique_ptr<TDBSpec> library_;
    TData* data_ = nullptr;  // one reference held
};

}  // namespace orvala
