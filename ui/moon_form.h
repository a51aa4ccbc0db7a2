#pragma once
// The list dialog: the year's new and full moons or its meteor showers, on navy.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace ui {

inline constexpr int kMoonFormWidth = 184;
inline constexpr int kMoonFormHeight = 293;
// The dialog's outer heights and close-button tops for the two lists. The
// outer heights count a title bar and frame of kMoonFormFrameHeight pixels,
// the design's 320 outer for 293 inside.
inline constexpr int kMoonFormFrameHeight = 27;
inline constexpr int kMoonListOuterHeight = 320;
inline constexpr int kMoonListButtonTop = 266;
inline constexpr int kMeteorListOuterHeight = 186;
inline constexpr int kMeteorListButtonTop = 134;

class TMoonForm : public QDialog {
public:
    explicit TMoonForm(QWidget* parent = nullptr);

    QPushButton* Button1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;   // the meteor-shower list
    QPlainTextEdit* Memo2 = nullptr;   // the new- and full-moon list

    void Button1Click();

    // Append the year's lists to their text boxes.
    void NewMoons(int year);
    void meteor(int year);

    // The window system decides the real frame; the area inside keeps the
    // design's size, so the list and the button always fit.
    void SetOuterHeight(int outerHeight);
};

} // namespace ui
