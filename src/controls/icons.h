#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

namespace bankprep {

// The program draws its own icons, so they are the same on every machine: a rounded
// tile with one Chinese character for the toolbar, simple shapes for the navigators.
QIcon glyphIcon(const QString& glyph, const QColor& tile);

enum class NavGlyph
{
    First,
    Prior10,
    Prior,
    Next,
    Next10,
    Last,
    Insert,
    Delete,
    Edit,
    Post,
    Cancel,
    Refresh,
    SetBookmark,
    GotoBookmark
};
QIcon navigatorIcon(NavGlyph glyph);

} // namespace bankprep
