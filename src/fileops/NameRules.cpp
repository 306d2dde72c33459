#include "fileops/NameRules.h"

#include "core/AppState.h"
#include "core/ResourceTexts.h"
#include "panes/ProgramContext.h"

namespace orvalt {

namespace {

// The labels show one "&" (a label's caption doubles it).
QString allowedCharsText(bool shortNames)
{
    return shortNames ? QStringLiteral("A to Z  0 to 9 . ! # $ & % ' ( ) ^ @ _ { }")
                      : QStringLiteral("A to Z  a to z  0 to 9 . ! # $ & % ' ( ) ^ @ _ { }");
}

QString fileFormText(bool shortNames)
{
    return ResourceTexts::text(shortNames ? 8001 : 8004);
}

} // namespace

bool shortNameMode(const AppState& st, const Endpoint& where)
{
    return where.isInstrument() && !st.LongNames;
}

bool isAllowedNameChar(QChar c, bool shortNames)
{
    const char16_t u = c.unicode();
    if ((u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9'))
        return true;
    if (u >= u'a' && u <= u'z')
        return !shortNames;
    return QStringView(u".!#$&%'()^@_{}").contains(c);
}

bool nameCharsAllowed(const QString& name, bool shortNames)
{
    for (const QChar c : name)
        if (!isAllowedNameChar(c, shortNames))
            return false;
    return true;
}

bool hasFileForm(const QString& name, int baseLimit)
{
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot < 1 || dot > baseLimit)
        return false;
    return name.size() - dot - 1 == kExtensionLength;
}

DialogSeam::NameDialogView fileWarnView(const AppState& st)
{
    DialogSeam::NameDialogView view;
    const bool folder = st.WarnKind == kWarnKindFolder;
    const QChar br = QLatin1Char('\n');
    const bool shortNames = st.WarnShortNames;
    if (st.WarnMode == kWarnModeCheck) {
        view.fileWarn = st.WarnName + br + ResourceTexts::text(8000);
        if (folder) {
            view.change = ResourceTexts::text(8002) + br +
                          (shortNames ? QStringLiteral("12345678")
                                      : QStringLiteral("12345678901234567890123456789012"));
        } else {
            view.change = fileFormText(shortNames) + br +
                          (shortNames ? QStringLiteral("12345678.DAT")
                                      : QStringLiteral("12345678901234567890123456789012.DAT"));
        }
        view.chars = allowedCharsText(shortNames);
    } else if (st.WarnMode == kWarnModeChange) {
        view.fileWarn = st.WarnName + br + ResourceTexts::text(8003);
        view.change = (folder ? ResourceTexts::text(8002) : fileFormText(shortNames)) + br;
        view.chars = allowedCharsText(shortNames);
    }
    return view;
}

bool fileWarnAccepts(const AppState& st, const QString& text)
{
    if (st.WarnMode == kWarnModeChange && !st.NewFolderMode)
        return true;
    const int limit = wholeNameLimit(st.WarnShortNames);
    if (st.WarnKind == kWarnKindFile)
        return hasFileForm(text, limit);
    return !text.isEmpty() && text.size() <= limit;
}

qint16 showFileWarn(ProgramContext& ctx)
{
    AppState& st = ctx.state;
    st.DialogAnswer = 3; // Cancel unless OK is pressed
    QString name = st.WarnName;
    const int answer = ctx.dialogs.nameDialog(
        fileWarnView(st), name, [&st](const QString& text) { return fileWarnAccepts(st, text); });
    if (answer == 0) {
        st.WarnName = name;
        st.DialogAnswer = 0;
    }
    st.NewFolderMode = false;
    return st.DialogAnswer;
}

} // namespace orvalt
