#pragma once
// "Options": switches that other commands read (event limit of the text and
// log readers, PCA algorithm) and the main window's background picture box.
#include <QDialog>
#include <optional>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace orvala {

class IniFile;

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    // The background-picture box starts from "main"/"CopyLeft" (default checked).
    explicit OptionsDialog(IniFile* settings, QWidget* parent = nullptr);

    enum class PcaAlgorithm { QL, Jacobi };

    // The event limit when "Limit Event Number" is checked: the absolute value
    // of the number in the field (nothing when unchecked or not a number).
    std::optional<int> EventLimit() const;
    PcaAlgorithm Algorithm() const;
    bool BackgroundPicture() const;

    QCheckBox* PCAsRGB = nullptr;
    QCheckBox* AutoColor = nullptr;
    QCheckBox* LimitEvents = nullptr;
    QLineEdit* EventLimitEdit = nullptr;
    QCheckBox* LogToLinear = nullptr;
    QRadioButton* AlgorithmQL = nullptr;
    QRadioButton* AlgorithmJacobi = nullptr;
    QCheckBox* CopyLeft = nullptr;

    // Closing writes the background-picture box back to the settings.
    void done(int result) override;

private:
    IniFile* settings_;
};

}  // namespace orvala
