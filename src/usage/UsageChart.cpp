#include "UsageChart.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace {
constexpr int kHours = 24;
constexpr int kGap = 1;

QString Duration(int seconds) {
    if (seconds < 60) return QString("%1 s").arg(seconds);
    return QString("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}
}  // namespace

UsageChart::UsageChart(QWidget* parent) : QWidget(parent) {
    setObjectName("usageChart");
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void UsageChart::SetUsage(const DayUsage& usage) {
    day_ = usage.day;
    lines_ = usage.lines;
    updateGeometry();
    setMinimumHeight(sizeHint().height());
    update();
}

int UsageChart::RowHeight() const {
    return fontMetrics().height() + 6;
}

int UsageChart::TopMargin() const {
    return fontMetrics().height() + 6;
}

int UsageChart::LabelWidth() const {
    int widest = fontMetrics().horizontalAdvance("Line 00");
    for (const DayUsage::Line& line : lines_)
        widest = std::max(widest, fontMetrics().horizontalAdvance(
                                      QString("%1  %2").arg(line.row).arg(line.name)));
    return std::min(widest, 260) + 12;
}

int UsageChart::CellWidth() const {
    const int minimum = fontMetrics().horizontalAdvance("00") + 6;
    return std::max(minimum, (width() - LabelWidth() - 8) / kHours);
}

QSize UsageChart::sizeHint() const {
    const int cell = fontMetrics().horizontalAdvance("00") + 14;
    const int rows = std::max<int>(1, int(lines_.size()));
    return {LabelWidth() + kHours * cell + 8, TopMargin() + rows * RowHeight() + 2 * RowHeight()};
}

QSize UsageChart::minimumSizeHint() const {
    return {LabelWidth() + kHours * (fontMetrics().horizontalAdvance("00") + 6) + 8,
            sizeHint().height()};
}

QRect UsageChart::CellRect(int line, int hour) const {
    const int w = CellWidth();
    return {LabelWidth() + hour * w, TopMargin() + line * RowHeight(), w - kGap,
            RowHeight() - kGap};
}

std::optional<UsageChart::Cell> UsageChart::CellAt(const QPoint& at) const {
    const int x = at.x() - LabelWidth(), y = at.y() - TopMargin();
    if (x < 0 || y < 0) return std::nullopt;
    const Cell cell{y / RowHeight(), x / CellWidth()};
    if (cell.hour >= kHours || cell.line >= int(lines_.size())) return std::nullopt;
    return cell;
}

QColor UsageChart::Shade(int seconds) const {
    // From the empty cell's colour to the highlight, by the share of the hour.
    const QColor empty = palette().color(QPalette::Base);
    const QColor full = palette().color(QPalette::Highlight);
    const double f = std::clamp(seconds / 3600.0, 0.0, 1.0);
    return QColor::fromRgbF(float(empty.redF() + (full.redF() - empty.redF()) * f),
                            float(empty.greenF() + (full.greenF() - empty.greenF()) * f),
                            float(empty.blueF() + (full.blueF() - empty.blueF()) * f));
}

QString UsageChart::TipText(const Cell& cell) const {
    const DayUsage::Line& line = lines_[cell.line];
    return QString("Line %1 (%2), %3:00-%4:00: %5 online")
        .arg(line.row)
        .arg(line.name)
        .arg(cell.hour, 2, 10, QChar('0'))
        .arg(cell.hour + 1, 2, 10, QChar('0'))
        .arg(Duration(line.hourSeconds[cell.hour]));
}

bool UsageChart::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const std::optional<Cell> cell = CellAt(help->pos());
    if (cell)
        QToolTip::showText(help->globalPos(), TipText(*cell), this,
                           CellRect(cell->line, cell->hour));
    else
        QToolTip::hideText();
    return true;
}

void UsageChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Draw(painter);
}

void UsageChart::Draw(QPainter& painter) const {
    painter.fillRect(QRect(QPoint(0, 0), size()), palette().color(QPalette::Window));
    DrawAxes(painter);
    DrawCells(painter);
    DrawLegend(painter);
}

void UsageChart::DrawAxes(QPainter& painter) const {
    painter.setPen(palette().color(QPalette::WindowText));
    const int top = TopMargin();
    for (int h = 0; h < kHours; ++h) {
        const QRect cell = CellRect(0, h);
        painter.drawText(QRect(cell.left(), 0, cell.width(), top), Qt::AlignCenter,
                         QString("%1").arg(h, 2, 10, QChar('0')));
    }
    for (int l = 0; l < int(lines_.size()); ++l) {
        const QRect row(4, top + l * RowHeight(), LabelWidth() - 8, RowHeight());
        const QString label = QString("%1  %2").arg(lines_[l].row).arg(lines_[l].name);
        painter.drawText(row, Qt::AlignVCenter | Qt::AlignLeft,
                         fontMetrics().elidedText(label, Qt::ElideRight, row.width()));
    }
}

void UsageChart::DrawCells(QPainter& painter) const {
    const QColor grid = palette().color(QPalette::Mid);
    for (int l = 0; l < int(lines_.size()); ++l) {
        for (int h = 0; h < kHours; ++h) {
            const QRect cell = CellRect(l, h);
            painter.fillRect(cell, Shade(lines_[l].hourSeconds[h]));
            painter.setPen(grid);
            painter.drawRect(cell.adjusted(0, 0, -1, -1));
        }
    }
}

void UsageChart::DrawLegend(QPainter& painter) const {
    const int y = TopMargin() + int(lines_.size()) * RowHeight() + RowHeight() / 2;
    const int w = CellWidth();
    int x = LabelWidth();
    painter.setPen(palette().color(QPalette::WindowText));
    const QString from = "0 min";
    painter.drawText(QRect(4, y, LabelWidth() - 8, RowHeight()), Qt::AlignVCenter | Qt::AlignRight,
                     from);
    for (int step = 0; step <= 6; ++step, x += w) {
        const QRect swatch(x, y + 2, w - kGap, RowHeight() - 4);
        painter.fillRect(swatch, Shade(step * 600));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(swatch.adjusted(0, 0, -1, -1));
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(x + 4, y, 6 * w, RowHeight()), Qt::AlignVCenter | Qt::AlignLeft,
                     "60 min online in the hour");
}

QImage UsageChart::Image(qreal scale) const {
    QImage image((QSizeF(size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    QPainter painter(&image);
    painter.setFont(font());
    Draw(painter);
    return image;
}
