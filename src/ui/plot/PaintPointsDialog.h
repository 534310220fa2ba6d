#pragma once
// "Paint Points": a 1-based inclusive range of events and a colour.
#include <QColor>
#include <QDialog>

class QLineEdit;
class QPushButton;

namespace orvala {

class PaintPointsDialog : public QDialog {
    Q_OBJECT
public:
    explicit PaintPointsDialog(QWidget* parent = nullptr);
    QColor color() const { return color_; }
    void setColor(const QColor& c);

    QLineEdit* p1 = nullptr;
    QLineEdit* p2 = nullptr;
    QPushButton* cbutt = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

private:
    void paintButton();
    QColor color_ = Qt::red;
};

}  // namespace orvala
