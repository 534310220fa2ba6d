#pragma once
// "Discrimination Level": one level, a float, for Discriminate and Cut Noise.
#include <QDialog>

class QLineEdit;

namespace orvala {

class DiscriminationDialog : public QDialog {
    Q_OBJECT
public:
    explicit DiscriminationDialog(QWidget* parent = nullptr);
    // The edit field as a float ("." decimals); raises OrvalaError when it is not a number.
    double Level() const;
    QLineEdit* Edit() const { return edit_; }

private:
    QLineEdit* edit_ = nullptr;
};

}  // namespace orvala
