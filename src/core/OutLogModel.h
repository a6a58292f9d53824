#pragma once
#include <QAbstractTableModel>
#include <array>
#include <string>
#include <vector>

// The rows of lvOutLog: replaced as a whole by every scan, so a scan costs
// one model reset rather than one widget item per cell.
class OutLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Column 0 is the row text ("2" or "*5"); 1..5 the sub-items.
    using Row = std::array<std::string, 6>;

    using QAbstractTableModel::QAbstractTableModel;

    void SetRows(std::vector<Row> rows);
    // Takes rows and hands back the previous ones, whose strings a scan
    // refills without allocating.
    void SwapRows(std::vector<Row>& rows);
    const std::vector<Row>& Rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static constexpr std::array<const char*, 6> kHeaders = {
        "LINE ", "LINE NAME", "STATE", "TIME ONLINE", "TOTAL TIME ONLINE", "ALARM"};

private:
    std::vector<Row> rows_;
};
