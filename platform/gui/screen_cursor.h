#pragma once
// The screen's cursor as the program sets it for all its windows: cursor 0 is
// the default, other numbers are custom cursors installed beforehand.

#include <QCursor>
#include <QString>

#include <map>

namespace platform {

// The cursor seam: the application's override cursor below, a fake in tests.
class ScreenCursor {
public:
    virtual ~ScreenCursor() = default;
    virtual void SetCustomCursor(int index, const QCursor& cursor) = 0;
    // 0 restores the default cursor; an index never installed is ignored.
    virtual void SetCursor(int index) = 0;
    virtual int Cursor() const = 0;
};

class QtScreenCursor final : public ScreenCursor {
public:
    void SetCustomCursor(int index, const QCursor& cursor) override;
    void SetCursor(int index) override;
    int Cursor() const override { return current_; }

private:
    std::map<int, QCursor> cursors_;
    int current_ = 0;
};

// A cursor image of the program's resources (":/NAME"), hot spot at its
// top-left corner; the arrow when the resource is missing.
QCursor LoadCursorResource(const QString& name);

} // namespace platform
