#pragma once
// "File Format": the layout of a generic text table, asked before it is read.
// The main window keeps one dialog, so the choices hold from one text file to
// the next for as long as the program runs. Format() reads them into the plain
// value the text reader takes.
#include <QDialog>

#include "formats/ReadOptions.h"

class QCheckBox;
class QSpinBox;

namespace orvala {

class FileFormatDialog : public QDialog {
    Q_OBJECT
public:
    explicit FileFormatDialog(QWidget* parent = nullptr);

    TextFormat Format() const;

    QCheckBox* parnam = nullptr;
    QCheckBox* evetnam = nullptr;
    QCheckBox* Space = nullptr;
    QCheckBox* Tab = nullptr;
    QCheckBox* Comma = nullptr;
    QCheckBox* Colon = nullptr;
    QSpinBox* Line = nullptr;
};

}  // namespace orvala
