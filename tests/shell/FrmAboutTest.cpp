#include "shell/FrmAbout.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "FakeDesktop.h"
#include "FakeMessageBoxes.h"
#include "shell/LinkBox.h"

namespace {

const QColor kBlue(0, 0, 255), kWhite(255, 255, 255);

class FrmAboutTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
        FrmAbout::ShowAbout(about, desktop, messages, &owner);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
    }
    void TearDown() override { delete about.data(); }

    template <typename T = LinkBox>
    T* Control(const char* name) const {
        T* control = about->findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    // Through the About window's own window, as the window system delivers
    // moves and double clicks; the owner lies underneath.
    QPoint InAbout(QWidget* widget) const { return widget->mapTo(about, widget->rect().center()); }
    void MoveOver(QWidget* widget) const {
        QTest::mouseMove(about->windowHandle(), InAbout(widget));
    }

    FakeDesktop desktop;
    FakeMessageBoxes messages;
    QWidget owner;
    QPointer<FrmAbout> about;
};

// The last link moved over stays blue; each opens its address once per
// click, a double click included; the mail link then focuses OK.
TEST_F(FrmAboutTest, LinksHighlightAndOpenTheirAddressOnce) {
    MoveOver(Control("Text1"));
    EXPECT_EQ(Control("Text1")->TextColour(), kBlue);
    EXPECT_EQ(Control("txtPrimary")->TextColour(), kWhite);
    MoveOver(Control("txtPrimary"));
    MoveOver(Control<QLabel>("LblVer"));
    MoveOver(Control<QPushButton>("cmdSysInfo"));
    EXPECT_EQ(Control("txtPrimary")->TextColour(), kBlue);
    EXPECT_TRUE(Control("Text1")->TextColour() == kWhite &&
                Control("txtSecondary")->TextColour() == kWhite);
    FrmAbout* open = about;  // asked for again, the open window comes up
    EXPECT_EQ(FrmAbout::ShowAbout(about, desktop, messages, &owner), open);

    QTest::mouseClick(Control("Text1"), Qt::LeftButton);
    EXPECT_EQ(about->focusWidget(), Control<QPushButton>("cmdOK"));
    QTest::mouseClick(Control("txtPrimary"), Qt::LeftButton);
    QTest::mouseDClick(about->windowHandle(), Qt::LeftButton, {}, InAbout(Control("txtSecondary")));
    // Press on a link, release elsewhere: no click.
    QTest::mousePress(Control("txtPrimary"), Qt::LeftButton);
    QTest::mouseRelease(Control("txtPrimary"), Qt::LeftButton, {}, QPoint(-5, -5));
    EXPECT_EQ(desktop.calls,
              (QStringList{"address mailto:" + FrmAbout::kMailAddress + "?subject=Vastrel",
                           "address " + FrmAbout::kPrimaryAddress,
                           "address " + FrmAbout::kSecondaryAddress}));
}

TEST_F(FrmAboutTest, SystemInfoStartsTheFirstToolFoundOrSaysItIsUnavailable) {
    const QStringList unavailable{"System Information Is Unavailable At This Time"};
    const std::vector<std::tuple<QStringList, bool, QStringList, QStringList>> cases = {
        {{}, true, {}, unavailable},
        {{"hardinfo", "lxtask"}, true, {"start /usr/bin/hardinfo "}, {}},
        {{"kinfocenter", "lxtask"}, false, {"start /usr/bin/kinfocenter "}, unavailable},
    };
    for (const auto& [installed, starts, started, shown] : cases) {
        SCOPED_TRACE(installed.join(' ').toStdString());
        desktop.programs = installed, desktop.result = starts;
        desktop.calls.clear(), messages.shown.clear();
        QTest::mouseClick(Control<QPushButton>("cmdSysInfo"), Qt::LeftButton);
        EXPECT_EQ(std::tuple(desktop.calls, messages.shown, about->isVisible()),
                  std::tuple(started, shown, true));
    }
}

}  // namespace
