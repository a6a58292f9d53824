#include "MessageBoxes.h"

#include <QMessageBox>

namespace platform {

void QtMessageBoxes::MsgBox(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title.isEmpty() ? QString("Vastrel") : title, text,
                    QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace platform
