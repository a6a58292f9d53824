#pragma once
// A single-line text box used as a hyperlink on the About window: read-only,
// bold, with a pointing hand, and reporting clicks and mouse moves instead of
// selecting text.
#include <QColor>
#include <QLineEdit>

class LinkBox : public QLineEdit {
    Q_OBJECT

public:
    explicit LinkBox(QWidget* parent = nullptr);

    QColor TextColour() const;
    void SetTextColour(const QColor& colour);

signals:
    void Click();
    void MouseMove();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};
