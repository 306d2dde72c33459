#include "window/frmFileWarn.h"

#include "core/ResourceTexts.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalt {

namespace {

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    // Names and the allowed characters are shown as they are, "&" and "<" included.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

} // namespace

frmFileWarn::frmFileWarn(const DialogSeam::NameDialogView& view, const QString& name,
                         std::function<bool(const QString&)> accept, QWidget* parent)
    : QDialog(parent)
    , m_name(name)
    , m_accept(std::move(accept))
{
    setWindowTitle(ResourceTexts::text(8005));
    setModal(true);

    m_waku = new QFrame(this);
    m_waku->setFrameShape(QFrame::StyledPanel);
    m_lblFileWarn = plainLabel(view.fileWarn, m_waku);
    m_lblChange = plainLabel(view.change, m_waku);
    m_lblChars = plainLabel(view.chars, m_waku);
    m_txtFileWarn = new QLineEdit(name, this);
    m_txtFileWarn->setMinimumWidth(m_txtFileWarn->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 36);
    m_cmdOK = new QPushButton(ResourceTexts::text(100), this);
    m_cmdOK->setDefault(true);
    m_Command1 = new QPushButton(ResourceTexts::text(101), this);

    auto* frameLayout = new QVBoxLayout(m_waku);
    frameLayout->addWidget(m_lblFileWarn);
    frameLayout->addWidget(m_lblChange);
    frameLayout->addWidget(m_lblChars);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_Command1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_waku);
    layout->addWidget(m_txtFileWarn);
    layout->addLayout(buttons);

    connect(m_cmdOK, &QPushButton::clicked, this, &frmFileWarn::cmdOK_Click);
    connect(m_Command1, &QPushButton::clicked, this, &QDialog::reject);
    m_txtFileWarn->selectAll();
    m_txtFileWarn->setFocus();
}

void frmFileWarn::cmdOK_Click()
{
    const QString text = m_txtFileWarn->text();
    if (!m_accept || !m_accept(text)) {
        // No message: the box simply gets the name back.
        m_txtFileWarn->setText(m_name);
        m_txtFileWarn->selectAll();
        m_txtFileWarn->setFocus();
        return;
    }
    m_name = text;
    accept();
}

} // namespace orvalt
