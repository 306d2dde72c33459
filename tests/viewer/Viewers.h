#pragma once

#include "window/frmView.h"

#include <QApplication>
#include <QList>

namespace orvalt::test {

// The viewer windows open now.
inline QList<frmView*> viewers()
{
    QList<frmView*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* v = qobject_cast<frmView*>(w); v && v->isVisible())
            found << v;
    return found;
}

} // namespace orvalt::test
