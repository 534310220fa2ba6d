#pragma once
// "Save As TXT options": whether the text export writes values as they are or
// scaled to 0..1023. The text export reads ItemIndex.
#include <QDialog>

class QRadioButton;

namespace orvala {

class SaveTextOptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SaveTextOptionsDialog(QWidget* parent = nullptr);
    // 0 = "as is", 1 = "scale 0..1023".
    int ItemIndex() const;
    void setItemIndex(int index);

private:
    QRadioButton* asIs_ = nullptr;
    QRadioButton* scaled_ = nullptr;
};

}  // namespace orvala
