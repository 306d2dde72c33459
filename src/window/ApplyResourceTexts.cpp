#include "window/ApplyResourceTexts.h"

#include "core/ResourceTexts.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QToolBar>
#include <QTreeView>
#include <QWidget>
#include <optional>

namespace orvalt {

namespace {

// A design-time number as a 16-bit integer; anything else (empty, not a number, out of range) is
// not a text number and leaves the control alone.
std::optional<int> textNumber(const QString& s)
{
    bool ok = false;
    const int n = s.trimmed().toInt(&ok);
    if (!ok || n < -32768 || n > 32767)
        return std::nullopt;
    return n;
}

// Sets a text through setter when number holds a text of the table.
template<typename Setter> void applyNumber(const QString& number, Setter setter)
{
    if (const auto n = textNumber(number); n && ResourceTexts::contains(*n))
        setter(ResourceTexts::text(*n));
}

QString tagOf(const QObject* o)
{
    return o->property(ResourceTexts::kTagProperty).toString();
}

void applyToActions(const QList<QAction*>& actions)
{
    for (QAction* a : actions) {
        if (a->isSeparator())
            continue;
        applyNumber(a->text(), [a](const QString& t) { a->setText(t); });
        if (QMenu* sub = a->menu())
            applyToActions(sub->actions());
    }
}

} // namespace

void ApplyResourceTexts(QWidget* window)
{
    if (!window)
        return;
    applyNumber(tagOf(window), [window](const QString& t) { window->setWindowTitle(t); });
    // Texts 20 and 21 (a font name and size) are asked for but the table holds neither, so the
    // window keeps its font, which its children inherit.

    const auto children = window->findChildren<QWidget*>();
    for (QWidget* w : children) {
        if (auto* label = qobject_cast<QLabel*>(w)) {
            applyNumber(tagOf(label), [label](const QString& t) { label->setText(t); });
        } else if (auto* bar = qobject_cast<QMenuBar*>(w)) {
            applyToActions(bar->actions());
        } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                applyNumber(tabs->tabData(i).toString(),
                            [tabs, i](const QString& t) { tabs->setTabText(i, t); });
                applyNumber(tabs->tabToolTip(i), [tabs, i](const QString& t) { tabs->setTabToolTip(i, t); });
            }
        } else if (auto* toolBar = qobject_cast<QToolBar*>(w)) {
            for (QAction* a : toolBar->actions())
                applyNumber(a->toolTip(), [a](const QString& t) { a->setToolTip(t); });
        } else if (auto* list = qobject_cast<QTreeView*>(w)) {
            QAbstractItemModel* model = list->model();
            for (int c = 0; model && c < model->columnCount(); ++c)
                applyNumber(model->headerData(c, Qt::Horizontal, ResourceTexts::kHeaderTagRole).toString(),
                            [model, c](const QString& t) { model->setHeaderData(c, Qt::Horizontal, t); });
        } else if (qobject_cast<QMenu*>(w)) {
            continue; // menus are reached through the menu bar's actions
        } else {
            const QString tag = tagOf(w);
            if (const auto n = textNumber(tag); n && *n > 0 && ResourceTexts::contains(*n)) {
                const QString t = ResourceTexts::text(*n);
                if (auto* button = qobject_cast<QAbstractButton*>(w))
                    button->setText(t);
                else if (auto* box = qobject_cast<QGroupBox*>(w))
                    box->setTitle(t);
            }
            if (const auto n = textNumber(w->toolTip()); n && *n >= 1 && ResourceTexts::contains(*n))
                w->setToolTip(ResourceTexts::text(*n));
        }
    }
}

} // namespace orvalt
