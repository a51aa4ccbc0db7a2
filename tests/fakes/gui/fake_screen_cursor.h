#pragma once
// A screen cursor that remembers which cursor was set, and every change.

#include "platform/gui/screen_cursor.h"

#include <vector>

namespace fakes {

class FakeScreenCursor final : public platform::ScreenCursor {
public:
    std::vector<int> installed;   // indexes given a custom cursor
    std::vector<int> changes;     // every SetCursor, in order
    QCursor lastInstalled;
    int current = 0;

    void SetCustomCursor(int index, const QCursor& cursor) override;
    void SetCursor(int index) override;
    int Cursor() const override { return current; }
};

} // namespace fakes
