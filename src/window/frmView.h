#pragma once

#include "viewer/ViewDocument.h"

#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableView;

namespace orvalt {

class DialogSeam;
class HexView;
class MeasurementTable;
class PlotState;
class PlotView;
class TextView;

// The viewer: one file's contents in a window of its own, beside the main window (several may be
// open). A measurement file shows its plot, its rows as a table, its text and its bytes; a text file
// its text and bytes; any other file its bytes in hex. Above them, what the user should know: that
// only the first 20 MB are shown, rows and cells that did not fit. The window closes with Esc; what
// it keeps alive (the temporary file an instrument's file was read into) goes with it.
class frmView : public QWidget
{
    Q_OBJECT

public:
    frmView(ViewDocument document, DialogSeam& dialogs, std::shared_ptr<void> keep,
            QWidget* parent = nullptr);
    ~frmView() override;

    const ViewDocument& document() const { return m_document; }
    QTabWidget* tabs() const { return m_tabs; }
    QLabel* notes() const { return m_notes; }
    QComboBox* encodingBox() const { return m_encoding; }
    // Present for a measurement file only.
    PlotView* plot() const { return m_plot; }
    PlotState* plotState() const { return m_plotState.get(); }
    QListWidget* seriesList() const { return m_series; }
    QLabel* readout() const { return m_readout; }
    QPushButton* savePictureButton() const { return m_save; }
    QTableView* table() const { return m_table; }
    // The text and hex tabs are made when first shown (a plot must not wait for 20 MB of text).
    TextView* textView();
    HexView* hexView();

    // Save as PNG: asks where, then writes the plot as it is in view. False when nothing was saved.
    bool savePicture();

private:
    void buildMeasurementTabs();
    void buildLazyTabs();
    // Puts page in the place of tab index's placeholder.
    void fillTab(int index, QWidget* page);
    void encodingChosen(int index);
    void findInText();
    void fillSeriesList();

    ViewDocument m_document;
    DialogSeam& m_dialogs;
    std::shared_ptr<void> m_keep;
    std::unique_ptr<PlotState> m_plotState;
    QTabWidget* m_tabs = nullptr;
    QLabel* m_notes = nullptr;
    QComboBox* m_encoding = nullptr;
    PlotView* m_plot = nullptr;
    QListWidget* m_series = nullptr;
    QLabel* m_readout = nullptr;
    QPushButton* m_save = nullptr;
    QTableView* m_table = nullptr;
    MeasurementTable* m_tableModel = nullptr;
    TextView* m_text = nullptr;
    HexView* m_hex = nullptr;
    int m_textTab = -1;
    int m_hexTab = -1;
};

} // namespace orvalt
