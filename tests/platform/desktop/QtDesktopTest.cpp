// Printing gives up at once when there is no print system.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>

#include "platform/desktop/QtDesktop.h"

namespace platform {
namespace {

TEST(QtDesktop, PrintingWithoutPrintSystemFailsAtOnce) {
    if (QFileInfo::exists("/run/cups/cups.sock")) GTEST_SKIP() << "a print server is running";
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QtDesktop desktop;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(desktop.PrintImage(image));
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_FALSE(desktop.PrintImage(QImage()));
}

}  // namespace
}  // namespace platform
