#pragma once
// An up/down spin button: two small arrow buttons stacked in one square.

#include <QWidget>

class QToolButton;

namespace ui {

class TSpinButton : public QWidget {
public:
    explicit TSpinButton(QWidget* parent);
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* up_;
    QToolButton* down_;
};

} // namespace ui
