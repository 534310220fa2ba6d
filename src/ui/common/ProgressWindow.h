#pragma once
// "Progress": a gauge with four info labels and a "Stop" button, kept on top,
// for long readers that report how far they are.
#include <QWidget>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace orvala {

class ProgressWindow : public QWidget {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget* parent = nullptr);

    void SetMinMax(int min, int max);
    int Position() const;
    void setPosition(int position);
    // A load that reports its steps starts: empty gauge, what is loaded
    // (a folder, say) in Info, the window shown.
    void startSteps(const QString& info);
    // One such step: the gauge and "done / total" in Count. Painting goes on;
    // clicks and keys wait until the load is done, so no command can change
    // the workspace in the middle of it. False once "Stop" was pressed.
    bool step(int done, int total);
    // Cleared when the window is shown, set by "Stop".
    bool Cancelled() const { return cancelled_; }
    std::function<void()> OnCancel;

    QProgressBar* Gauge = nullptr;
    QLabel* Info = nullptr;
    QLabel* info1 = nullptr;
    QLabel* info2 = nullptr;
    QLabel* Count = nullptr;
    QPushButton* Stop = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool cancelled_ = false;
};

}  // namespace orvala
