#pragma once

#include "core/AppState.h"

#include <QString>
#include <QStringList>
#include <QStyle>
#include <functional>
#include <map>
#include <vector>

namespace orvalt {

class DialogSeam;

// The eleven toolbar buttons in order. The key is a button's identity (the dispatcher routes by
// it); the tool-tip is a resource text number; the icon comes from the desktop's theme, with a
// standard style icon where the theme has none.
struct ToolButtonInfo
{
    QString key;
    int tipNumber;
    QString image;          // name in the toolbar's image list
    QStringList themeIcons; // freedesktop names, the first the theme has wins
    QStyle::StandardPixmap fallback;
};

namespace ToolKeys {
inline const QString Up = QStringLiteral("1 つ上のﾌｫﾙﾀﾞへ");
inline const QString Open = QStringLiteral("開く");
inline const QString Delete = QStringLiteral("削除");
inline const QString CopyLeft = QStringLiteral("左へ転送");
inline const QString Interrupt = QStringLiteral("中断");
inline const QString CopyRight = QStringLiteral("右へ転送");
inline const QString Connect = QStringLiteral("接続");
inline const QString Disconnect = QStringLiteral("切断");
inline const QString Renew = QStringLiteral("最新に更新");
inline const QString Rename = QStringLiteral("ファイル名変更");
inline const QString Format = QStringLiteral("フォーマット");
} // namespace ToolKeys

const std::vector<ToolButtonInfo>& toolButtons();

// Runs a toolbar button's action by its key. Every press first marks that the user has acted;
// after the action, whatever it did or threw, the default pointer comes back. An action lets the
// window live while the instrument works, so a button may be pressed in the middle of it: only
// Interruption runs then; Renew waits for the action and runs after it (unless a copy runs, which
// Renew leaves alone); every other press is ignored, since it would start a second exchange in the
// middle of the first.
class ToolbarDispatcher
{
public:
    ToolbarDispatcher(AppState& state, DialogSeam& dialogs)
        : m_state(state)
        , m_dialogs(dialogs)
    {}

    void setAction(const QString& key, std::function<void()> action) { m_actions[key] = std::move(action); }
    bool hasAction(const QString& key) const { return m_actions.count(key) != 0; }
    void dispatch(const QString& key);
    // Runs after every action, so the window can show what the action changed (the line, the
    // active pane).
    void setAfterAction(std::function<void()> after) { m_after = std::move(after); }

private:
    AppState& m_state;
    DialogSeam& m_dialogs;
    std::map<QString, std::function<void()>> m_actions;
    std::function<void()> m_after;
    int m_running = 0;         // actions in hand: one, or one and an Interruption inside it
    bool m_renewAfter = false; // Renew was pressed while an action ran
};

} // namespace orvalt
