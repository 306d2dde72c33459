#include "window/frmCheckOverWrite.h"

#include "core/ResourceTexts.h"
#include "core/Settings.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace orvalt {

namespace {

// The pointer as the program sets it: one override level at most, none for the default arrow.
void setPointer(bool busy)
{
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

QLabel* label(QWidget* parent, const char* name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText); // names and descriptions are shown as they are
    return l;
}

QPushButton* button(QWidget* parent, const char* name)
{
    auto* b = new QPushButton(QLatin1String(name), parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

frmCheckOverWrite::frmCheckOverWrite(const QString& name, const QString& source, const QString& destination,
                                     QWidget* parent)
    : QDialog(parent)
{
    createControls();
    setWindowTitle(programTitle());

    setPointer(false);
    m_lblOverWrite->setText(name + ResourceTexts::text(8100));
    m_lblDestination->setText(ResourceTexts::text(8101) + destination);
    m_lblSource->setText(ResourceTexts::text(8102) + source);
    m_CmdYes->setText(ResourceTexts::text(8200));
    m_CmdAllYes->setText(ResourceTexts::text(8201));
    m_CmdNo->setText(ResourceTexts::text(8202));
    m_CmdCan->setText(ResourceTexts::text(8203));
    m_answer = 3;

    connect(m_CmdYes, &QPushButton::clicked, this, [this] { answerWith(0); });
    connect(m_CmdAllYes, &QPushButton::clicked, this, [this] { answerWith(1); });
    connect(m_CmdNo, &QPushButton::clicked, this, [this] { answerWith(2); });
    connect(m_CmdCan, &QPushButton::clicked, this, [this] { answerWith(3); });
}

void frmCheckOverWrite::createControls()
{
    setObjectName(QStringLiteral("frmCheckOverWrite"));
    setModal(true);

    m_Picture1 = label(this, "Picture1");
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    m_Picture1->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(iconSize));
    m_Picture1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    m_lblOverWrite = label(this, "lblOverWrite");
    m_lblDestination = label(this, "lblDestination");
    m_lblSource = label(this, "lblSource");
    m_CmdYes = button(this, "CmdYes");
    m_CmdAllYes = button(this, "CmdAllYes");
    m_CmdNo = button(this, "CmdNo");
    m_CmdCan = button(this, "CmdCan");

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_Picture1, 0, 0, 3, 1);
    grid->addWidget(m_lblOverWrite, 0, 1);
    grid->addWidget(m_lblDestination, 1, 1);
    grid->addWidget(m_lblSource, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {m_CmdYes, m_CmdAllYes, m_CmdNo, m_CmdCan})
        buttons->addWidget(b);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

void frmCheckOverWrite::answerWith(int answer)
{
    m_answer = answer;
    accept();
}

void frmCheckOverWrite::done(int result)
{
    // Every way out passes here (the buttons, the close box, Escape).
    setPointer(true);
    QDialog::done(result);
}

} // namespace orvalt
