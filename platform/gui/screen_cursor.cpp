#include "platform/gui/screen_cursor.h"

#include <QGuiApplication>
#include <QPixmap>

namespace platform {

void QtScreenCursor::SetCustomCursor(int index, const QCursor& cursor)
{
    if (index > 0)
        cursors_[index] = cursor;
}

void QtScreenCursor::SetCursor(int index)
{
    if (index == 0) {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
        current_ = 0;
        return;
    }
    const auto found = cursors_.find(index);
    if (found == cursors_.end())
        return;
    if (QGuiApplication::overrideCursor())
        QGuiApplication::changeOverrideCursor(found->second);
    else
        QGuiApplication::setOverrideCursor(found->second);
    current_ = index;
}

QCursor LoadCursorResource(const QString& name)
{
    const QPixmap image(QStringLiteral(":/") + name);
    if (image.isNull())
        return QCursor(Qt::ArrowCursor);
    return QCursor(image, 0, 0);
}

} // namespace platform
