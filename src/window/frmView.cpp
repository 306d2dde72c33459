#include "window/frmView.h"

#include "core/DialogSeam.h"
#include "session/ErrorText.h"
#include "viewer/MeasurementTable.h"
#include "viewer/PlotState.h"
#include "window/HexView.h"
#include "window/PlotView.h"
#include "window/TextView.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace orvalt {

namespace {

const QString kPlotHelp =
    QStringLiteral("Wheel: zoom (Shift: both axes) \u00b7 drag: move \u00b7 right-drag or "
                   "Ctrl+drag: zoom to a rectangle \u00b7 Home: all");

QIcon swatch(const QColor& color)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(color);
    return QIcon(pixmap);
}

QString originText(const ViewDocument& d)
{
    QStringList parts{d.origin, byteCountText(d.fileSize)};
    if (d.measurement)
        parts << QStringLiteral("%1 rows").arg(
            QLocale(QLocale::English).toString(static_cast<qlonglong>(d.measurement->rows)));
    return parts.join(QStringLiteral("  \u00b7  "));
}

} // namespace

frmView::frmView(ViewDocument document, DialogSeam& dialogs, std::shared_ptr<void> keep, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_document(std::move(document))
    , m_dialogs(dialogs)
    , m_keep(std::move(keep))
{
    setObjectName(QStringLiteral("frmView"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("View - %1").arg(m_document.name));
    resize(900, 620);

    auto* origin = new QLabel(originText(m_document), this);
    origin->setObjectName(QStringLiteral("origin"));
    origin->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_encoding = new QComboBox(this);
    m_encoding->setObjectName(QStringLiteral("encoding"));
    for (const TextEncoding e : {TextEncoding::Utf8, TextEncoding::ShiftJis, TextEncoding::Latin1})
        if (e != TextEncoding::ShiftJis || shiftJisAvailable())
            m_encoding->addItem(encodingName(e), static_cast<int>(e));
    m_encoding->setCurrentIndex(m_encoding->findData(static_cast<int>(m_document.encoding)));
    const bool text =
        m_document.kind == ViewDocument::Kind::Text || m_document.kind == ViewDocument::Kind::Measurement;
    m_encoding->setEnabled(text);
    auto* encodingLabel = new QLabel(QStringLiteral("&Encoding:"), this);
    encodingLabel->setBuddy(m_encoding);
    auto* top = new QHBoxLayout;
    top->addWidget(origin, 1);
    top->addWidget(encodingLabel);
    top->addWidget(m_encoding);

    m_notes = new QLabel(m_document.notes.join(QLatin1Char('\n')), this);
    m_notes->setObjectName(QStringLiteral("notes"));
    m_notes->setWordWrap(true);
    m_notes->setFrameShape(QFrame::StyledPanel);
    m_notes->setMargin(6);
    m_notes->setVisible(!m_document.notes.isEmpty());

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->setDocumentMode(true);
    if (m_document.kind == ViewDocument::Kind::Measurement)
        buildMeasurementTabs();
    buildLazyTabs();
    m_tabs->setVisible(m_tabs->count() > 0);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_notes);
    layout->addWidget(m_tabs, 1);
    if (m_tabs->count() == 0)
        layout->addStretch(1);

    connect(m_encoding, &QComboBox::activated, this, &frmView::encodingChosen);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { buildLazyTabs(); });
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, &frmView::findInText);
    // Esc closes the viewer, except in the find bar, which it closes instead.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (m_text && m_text->findBox()->hasFocus())
            m_text->findBox()->parentWidget()->hide();
        else
            close();
    });
    if (m_plot)
        m_plot->setFocus();
}

frmView::~frmView() = default;

void frmView::buildMeasurementTabs()
{
    m_plotState = std::make_unique<PlotState>(m_document.measurement, kSeriesDrawnAtFirst);
    auto* page = new QWidget(m_tabs);
    m_series = new QListWidget(page);
    m_series->setObjectName(QStringLiteral("series"));
    m_plot = new PlotView(*m_plotState, page);
    m_plot->setToolTip(kPlotHelp);
    fillSeriesList();
    auto* split = new QSplitter(page);
    split->addWidget(m_series);
    split->addWidget(m_plot);
    split->setStretchFactor(1, 1);
    split->setSizes({160, 700});
    m_readout = new QLabel(page);
    m_readout->setObjectName(QStringLiteral("readout"));
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* help = new QLabel(kPlotHelp, page);
    help->setForegroundRole(QPalette::PlaceholderText);
    m_save = new QPushButton(QStringLiteral("Save as &PNG..."), page);
    m_save->setObjectName(QStringLiteral("savePng"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_readout, 1);
    bottom->addWidget(m_save);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);
    layout->addWidget(help);
    m_tabs->addTab(page, QStringLiteral("Plot"));

    m_tableModel = new MeasurementTable(m_document.bytes, m_document.measurement, m_document.encoding, this);
    m_table = new QTableView(m_tabs);
    m_table->setObjectName(QStringLiteral("table"));
    m_table->setModel(m_tableModel);
    m_table->setAlternatingRowColors(true);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_tabs->addTab(m_table, QStringLiteral("Table"));

    connect(m_plot, &PlotView::readoutChanged, m_readout, &QLabel::setText);
    connect(m_save, &QPushButton::clicked, this, &frmView::savePicture);
    connect(m_series, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        m_plotState->setShown(m_series->row(item), item->checkState() == Qt::Checked);
        m_plot->update();
    });
}

void frmView::fillSeriesList()
{
    const QSignalBlocker quiet(m_series);
    m_series->clear();
    for (int i = 0; i < m_plotState->seriesCount(); ++i) {
        auto* item = new QListWidgetItem(swatch(PlotView::seriesColor(i)),
                                         m_plotState->file().series[static_cast<size_t>(i)].name, m_series);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(m_plotState->shown(i) ? Qt::Checked : Qt::Unchecked);
    }
}

void frmView::buildLazyTabs()
{
    // The tabs are there from the start; what they show is made when one is first chosen.
    const bool text =
        m_document.kind == ViewDocument::Kind::Text || m_document.kind == ViewDocument::Kind::Measurement;
    if (m_textTab < 0 && text)
        m_textTab = m_tabs->addTab(new QWidget(m_tabs), QStringLiteral("Text"));
    if (m_hexTab < 0 && m_document.kind != ViewDocument::Kind::Empty)
        m_hexTab = m_tabs->addTab(new QWidget(m_tabs), QStringLiteral("Hex"));
    if (m_tabs->currentIndex() == m_textTab && m_textTab >= 0)
        textView();
    if (m_tabs->currentIndex() == m_hexTab && m_hexTab >= 0)
        hexView();
}

TextView* frmView::textView()
{
    if (m_text || m_textTab < 0)
        return m_text;
    m_text = new TextView(m_tabs);
    m_text->setText(decodeText(m_document.bytes, m_document.encoding));
    fillTab(m_textTab, m_text);
    return m_text;
}

HexView* frmView::hexView()
{
    if (m_hex || m_hexTab < 0)
        return m_hex;
    m_hex = new HexView(m_document.bytes, m_tabs);
    fillTab(m_hexTab, m_hex);
    return m_hex;
}

void frmView::fillTab(int index, QWidget* page)
{
    const QSignalBlocker quiet(m_tabs);
    const bool current = m_tabs->currentIndex() == index;
    QWidget* placeholder = m_tabs->widget(index);
    const QString title = m_tabs->tabText(index);
    m_tabs->removeTab(index);
    m_tabs->insertTab(index, page, title);
    delete placeholder;
    if (current)
        m_tabs->setCurrentIndex(index);
}

void frmView::findInText()
{
    if (m_textTab < 0)
        return;
    m_tabs->setCurrentIndex(m_textTab);
    textView()->showFind();
}

void frmView::encodingChosen(int index)
{
    const auto encoding = static_cast<TextEncoding>(m_encoding->itemData(index).toInt());
    if (encoding == m_document.encoding)
        return;
    m_document.encoding = encoding;
    if (m_text)
        m_text->setText(decodeText(m_document.bytes, encoding));
    if (!m_document.measurement)
        return;
    // The numbers do not change with the encoding; the names of the columns may.
    const qsizetype whole =
        m_document.cutShort() ? m_document.bytes.lastIndexOf('\n') + 1 : m_document.bytes.size();
    auto reread = std::make_shared<MeasurementFile>(
        readMeasurementFile(QByteArray::fromRawData(m_document.bytes.constData(), whole), encoding));
    m_document.measurement = reread;
    m_plotState->replaceFile(reread);
    fillSeriesList();
    auto* model = new MeasurementTable(m_document.bytes, reread, encoding, this);
    m_table->setModel(model);
    delete m_tableModel;
    m_tableModel = model;
    m_plot->update();
}

bool frmView::savePicture()
{
    if (!m_plot)
        return false;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString suggested =
        QDir(folder.isEmpty() ? QDir::homePath() : folder)
            .filePath(QFileInfo(m_document.name).completeBaseName() + QStringLiteral(".png"));
    const QString target = m_dialogs.saveFileName(QStringLiteral("Save as PNG"), suggested,
                                                  QStringLiteral("PNG pictures (*.png)"));
    if (target.isEmpty())
        return false;
    QImageWriter writer(target, "png");
    if (writer.write(m_plot->picture(m_plot->size())))
        return true;
    m_dialogs.message(ErrorText::twoLines(QStringLiteral("The plot could not be saved as %1.").arg(target),
                                          ErrorText::hostCause(writer.errorString())),
                      DialogSeam::Button::Ok, DialogSeam::Icon::Warning);
    return false;
}

} // namespace orvalt
