#include "window/frmAbout.h"

#include "core/ResourceTexts.h"
#include "window/ApplyResourceTexts.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace orvalt {

namespace {

// The program's icon is the one its main window carries; without a main window, the same theme
// icon the main window uses.
QIcon programIcon(const QWidget* owner, const QStyle* style)
{
    if (owner && !owner->window()->windowIcon().isNull())
        return owner->window()->windowIcon();
    const QIcon themed = QIcon::fromTheme(QStringLiteral("folder-remote"));
    return themed.isNull() ? style->standardIcon(QStyle::SP_DriveNetIcon) : themed;
}

QFrame* decorativeLine(QWidget* parent, const char* name)
{
    auto* line = new QFrame(parent);
    line->setObjectName(QLatin1String(name));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    createControls();

    ApplyResourceTexts(this);
    setWindowTitle(QStringLiteral("Version"));
    m_lblTitle->setText(ResourceTexts::text(2000));
    m_lblVersion->setText(ResourceTexts::text(2001));
    const QString lineBreak = QStringLiteral("\r\n");
    QString description = ResourceTexts::text(2002) + lineBreak;
    for (const int n : {2003, 2004, 2005})
        description += ResourceTexts::text(n) + lineBreak;
    m_lblDescription->setText(description);

    connect(m_cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::createControls()
{
    setObjectName(QStringLiteral("frmAbout"));
    m_picIcon = new QLabel(this);
    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    // Half again the large icon size: about the height of the title and version together.
    const int side = style()->pixelMetric(QStyle::PM_LargeIconSize) * 3 / 2;
    const QIcon icon = programIcon(parentWidget(), style());
    const QSize largest = icon.actualSize(QSize(side, side));
    QPixmap picture = icon.pixmap(largest, devicePixelRatioF());
    // A style icon may come only in small sizes; it is scaled up rather than shown as a speck.
    if (largest.width() < side)
        picture = picture.scaled(QSize(side, side) * devicePixelRatioF(), Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
    picture.setDevicePixelRatio(devicePixelRatioF());
    m_picIcon->setPixmap(picture);
    m_picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_lblTitle = new QLabel(this);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_lblTitle->setProperty(ResourceTexts::kTagProperty, QStringLiteral("2000"));
    QFont titleFont = m_lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    m_lblTitle->setFont(titleFont);

    m_lblVersion = new QLabel(this);
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    m_lblVersion->setProperty(ResourceTexts::kTagProperty, QStringLiteral("2001"));

    m_lblDescription = new QLabel(this);
    m_lblDescription->setObjectName(QStringLiteral("lblDescription"));
    m_lblDescription->setProperty(ResourceTexts::kTagProperty, QStringLiteral("2002-2005"));
    m_lblDescription->setTextFormat(Qt::PlainText);
    m_lblDescription->setMinimumWidth(m_lblDescription->fontMetrics().averageCharWidth() * 40);

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_cmdOK, QDialogButtonBox::AcceptRole);

    auto* header = new QGridLayout;
    header->setHorizontalSpacing(style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing) * 3);
    header->addWidget(m_picIcon, 0, 0, 2, 1);
    header->addWidget(m_lblTitle, 0, 1);
    header->addWidget(m_lblVersion, 1, 1);
    header->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(decorativeLine(this, "linTop"));
    layout->addWidget(m_lblDescription);
    layout->addWidget(decorativeLine(this, "linBottom"));
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmAbout::cmdOK_Click()
{
    close();
}

} // namespace orvalt
