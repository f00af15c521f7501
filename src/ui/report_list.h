#pragma once
// A report-view list as both dialogs use it: fixed column titles and pixel
// widths, centred texts, grid lines, whole rows selected one at a time, no
// editing. Its "selection mark" is the current row.
#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <QTableView>

#include <functional>
#include <initializer_list>
#include <vector>

namespace ui {

struct ReportColumn {
    const char* title;
    int width;  // pixels
};

// The texts of the list, row by row.
class ReportTexts final : public QAbstractTableModel {
public:
    explicit ReportTexts(std::initializer_list<ReportColumn> columns);

    int AddRow();
    void SetText(int row, int column, const QString& text);
    // The row's text colour (invalid: the list's own) and its tooltip.
    void SetRowLook(int row, const QColor& colour, const QString& toolTip);
    QColor RowColour(int row) const;
    QString Text(int row, int column) const;
    QString Title(int column) const;
    int Columns() const { return static_cast<int>(titles.size()); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<QString> titles;
    std::vector<std::vector<QString>> rows;
    std::vector<QColor> colours;    // one per row
    std::vector<QString> toolTips;  // one per row
};

class ReportList final : public QTableView {
public:
    ReportList(QWidget* parent, std::initializer_list<ReportColumn> columns);
    ~ReportList() override;

    // Appends an empty row; its number.
    int AddRow() { return texts.AddRow(); }
    void SetText(int row, int column, const QString& text) { texts.SetText(row, column, text); }
    void SetRowLook(int row, const QColor& colour, const QString& toolTip) { texts.SetRowLook(row, colour, toolTip); }
    QColor RowColour(int row) const { return texts.RowColour(row); }
    QString Text(int row, int column) const { return texts.Text(row, column); }
    QString Title(int column) const { return texts.Title(column); }
    int Rows() const { return texts.rowCount(); }
    int Columns() const { return texts.Columns(); }

    // -1 when no row is marked.
    int SelectionMark() const;
    // Marks and highlights the row without telling the dialog (it asked).
    void SetSelectionMark(int row);

    // Called with the newly marked row when the user moves the mark, by
    // mouse or keyboard.
    void OnMarkChanged(std::function<void(int row)> handler);

private:
    ReportTexts texts;
    bool quiet = false;
};

}  // namespace ui
