#include "ui/report_list.h"

#include <QHeaderView>
#include <QItemSelectionModel>

namespace ui {

ReportTexts::ReportTexts(std::initializer_list<ReportColumn> columns)
{
    for (const ReportColumn& c : columns)
        titles.push_back(QString::fromLatin1(c.title));
}

int ReportTexts::AddRow()
{
    const int row = static_cast<int>(rows.size());
    beginInsertRows(QModelIndex(), row, row);
    rows.emplace_back(titles.size());
    colours.emplace_back();
    toolTips.emplace_back();
    endInsertRows();
    return row;
}

void ReportTexts::SetText(int row, int column, const QString& text)
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= Columns())
        return;
    rows[size_t(row)][size_t(column)] = text;
    emit dataChanged(index(row, column), index(row, column));
}

void ReportTexts::SetRowLook(int row, const QColor& colour, const QString& toolTip)
{
    if (row < 0 || row >= rowCount())
        return;
    colours[size_t(row)] = colour;
    toolTips[size_t(row)] = toolTip;
    emit dataChanged(index(row, 0), index(row, Columns() - 1));
}

QColor ReportTexts::RowColour(int row) const { return row >= 0 && row < rowCount() ? colours[size_t(row)] : QColor(); }

QString ReportTexts::Text(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= Columns())
        return {};
    return rows[size_t(row)][size_t(column)];
}

QString ReportTexts::Title(int column) const
{
    return column >= 0 && column < Columns() ? titles[size_t(column)] : QString();
}

int ReportTexts::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int ReportTexts::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Columns(); }

QVariant ReportTexts::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return Text(index.row(), index.column());
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role == Qt::ForegroundRole && colours[size_t(index.row())].isValid())
        return colours[size_t(index.row())];
    if (role == Qt::ToolTipRole && !toolTips[size_t(index.row())].isEmpty())
        return toolTips[size_t(index.row())];
    return {};
}

QVariant ReportTexts::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return Title(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

ReportList::ReportList(QWidget* parent, std::initializer_list<ReportColumn> columns)
    : QTableView(parent), texts(columns)
{
    setModel(&texts);
    int column = 0;
    for (const ReportColumn& c : columns)
        setColumnWidth(column++, c.width);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTabKeyNavigation(false);
}

ReportList::~ReportList() { setModel(nullptr); }

int ReportList::SelectionMark() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ReportList::SetSelectionMark(int row)
{
    if (row < 0 || row >= Rows())
        return;
    quiet = true;
    setCurrentIndex(texts.index(row, 0));
    selectRow(row);
    quiet = false;
}

void ReportList::OnMarkChanged(std::function<void(int row)> handler)
{
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this, handler = std::move(handler)](const QModelIndex& current, const QModelIndex&) {
                if (!quiet && current.isValid())
                    handler(current.row());
            });
}

}  // namespace ui
