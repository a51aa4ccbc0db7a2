#pragma once
// The list dialog: the year's new and full moons or its meteor showers, on navy.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace ui {

inline constexpr int kMoonFormWidth = 184;
inline constexpr int kMoonFormHeight = 293;

class TMoonForm : public QDialog {
public:
    explicit TMoonForm(QWidget* parent = nullptr);

    QPushButton* Button1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;   // the meteor-shower list
    QPlainTextEdit* Memo2 = nullptr;   // the new- and full-moon list

    void Button1Click();
};

} // namespace ui
