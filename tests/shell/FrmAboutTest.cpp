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
        owner.setGeometry(100, 100, 600, 500);
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
    static void Destroyed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    FakeDesktop desktop;
    FakeMessageBoxes messages;
    QWidget owner;
    QPointer<FrmAbout> about;
};

TEST_F(FrmAboutTest, LastLinkMovedOverStaysBlue) {
    MoveOver(Control("Text1"));
    EXPECT_EQ(Control("Text1")->TextColour(), kBlue);
    EXPECT_EQ(Control("txtPrimary")->TextColour(), kWhite);
    MoveOver(Control("txtPrimary"));
    MoveOver(Control<QLabel>("LblVer"));
    MoveOver(Control<QPushButton>("cmdSysInfo"));
    EXPECT_EQ(Control("txtPrimary")->TextColour(), kBlue);
    EXPECT_TRUE(Control("Text1")->TextColour() == kWhite &&
                Control("txtSecondary")->TextColour() == kWhite);
}

TEST_F(FrmAboutTest, LinksOpenTheirAddressOnceAndMailFocusesOk) {
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
        desktop.programs = installed;
        desktop.result = starts;
        desktop.calls.clear();
        messages.shown.clear();
        QTest::mouseClick(Control<QPushButton>("cmdSysInfo"), Qt::LeftButton);
        EXPECT_EQ(desktop.calls, started) << installed.join(' ').toStdString();
        EXPECT_EQ(messages.shown, shown) << installed.join(' ').toStdString();
        EXPECT_TRUE(about->isVisible());
    }
}

TEST_F(FrmAboutTest, OpensModelessOverItsOwnerOnceAndOkEnterAndEscDestroyIt) {
    EXPECT_FALSE(about->isModal());
    EXPECT_LE((about->geometry().center() - owner.geometry().center()).manhattanLength(), 2);
    for (const auto& [name, text] : {std::pair{"Text1", FrmAbout::kMailAddress},
                                     {"txtPrimary", FrmAbout::kPrimaryAddress},
                                     {"txtSecondary", FrmAbout::kSecondaryAddress}})
        EXPECT_TRUE(Control(name)->text() == text && Control(name)->isReadOnly()) << name;
    FrmAbout* first = about;
    EXPECT_EQ(FrmAbout::ShowAbout(about, desktop, messages, &owner), first);
    QTest::mouseClick(Control<QPushButton>("cmdOK"), Qt::LeftButton);
    Destroyed();
    EXPECT_TRUE(about.isNull());
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        FrmAbout::ShowAbout(about, desktop, messages, &owner);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
        QTest::keyClick(Control("txtPrimary"), key);
        Destroyed();
        EXPECT_TRUE(about.isNull()) << key;
    }
    EXPECT_TRUE(desktop.calls.isEmpty());
}

}  // namespace
