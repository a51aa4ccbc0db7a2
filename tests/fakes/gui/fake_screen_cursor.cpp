#include "fakes/gui/fake_screen_cursor.h"

namespace fakes {

void FakeScreenCursor::SetCustomCursor(int index, const QCursor& cursor)
{
    installed.push_back(index);
    lastInstalled = cursor;
}

void FakeScreenCursor::SetCursor(int index)
{
    changes.push_back(index);
    current = index;
}

} // namespace fakes
