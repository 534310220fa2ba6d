#pragma once
// A check list of a data set's parameter names with an "All" box, OK and
// Cancel; the check states start from, and go back to, one settings section.
#include <QDialog>
#include <vector>

class QCheckBox;
class QListWidget;

namespace orvala {

class IniFile;
class TData;

class ChannelCheckDialog : public QDialog {
    Q_OBJECT
public:
    // Row i starts checked when section/"CH"i is true.
    ChannelCheckDialog(TData* data, IniFile* settings, const QString& section, QWidget* parent = nullptr);

    int RowCount() const;
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    // 0-based rows that are checked, in row order.
    std::vector<int> CheckedRows() const;
    QCheckBox* AllBox() const { return all_; }

protected:
    // Writes the check states back to the settings section.
    void storeChecks() const;

    QListWidget* list_ = nullptr;
    QCheckBox* all_ = nullptr;
    IniFile* settings_;
    QString section_;
};

}  // namespace orvala
