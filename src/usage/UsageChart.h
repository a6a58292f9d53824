#pragma once
#include <QWidget>
#include <optional>

#include "usage/DayUsage.h"

// One row per line, one cell per hour, each cell shaded by the minutes the
// line was online in that hour; the figure itself in the cell's tip. Drawn
// from the palette, so it reads in light and dark themes, in logical pixels,
// so it stays sharp at any scale.
class UsageChart : public QWidget {
    Q_OBJECT
public:
    struct Cell {
        int line = 0;
        int hour = 0;
    };

    explicit UsageChart(QWidget* parent = nullptr);

    void SetUsage(const DayUsage& usage);
    QRect CellRect(int line, int hour) const;
    std::optional<Cell> CellAt(const QPoint& at) const;
    // The colour of a cell with this many seconds online in its hour.
    QColor Shade(int seconds) const;
    QString TipText(const Cell& cell) const;
    // The whole chart with a title, at scale times the logical size.
    QImage Image(qreal scale = 2) const;
    // Draws the chart into painter's device at its own size.
    void Draw(QPainter& painter) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    int LabelWidth() const;
    int RowHeight() const;
    int CellWidth() const;
    int TopMargin() const;
    void DrawAxes(QPainter& painter) const;
    void DrawCells(QPainter& painter) const;
    void DrawLegend(QPainter& painter) const;

    QDate day_;
    std::vector<DayUsage::Line> lines_;
};
