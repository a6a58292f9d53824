#include "shell/FrmAbout.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QTest>

#include "shell/LinkBox.h"

// Readable failure messages for Qt values.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QColor& colour, std::ostream* out) {
    *out << colour.name().toStdString();
}

namespace {

class FakeDesktop : public platform::Desktop {
public:
    bool OpenDocument(const QString&) override { return false; }
    bool OpenAddress(const QString& url) override {
        opened << url;
        return false;
    }
    bool StartProgram(const QString& program, const QStringList& arguments) override {
        started << program + (arguments.isEmpty() ? "" : " " + arguments.join(' '));
        return startSucceeds;
    }
    QString FindProgram(const QString& name) const override { return installed.value(name); }
    bool PrintImage(const QImage&) override { return false; }

    QMap<QString, QString> installed;
    bool startSucceeds = true;
    QStringList opened;
    QStringList started;
};

class FakeMessageBoxes : public platform::MessageBoxes {
public:
    void MsgBox(QWidget* parent, const QString& text, const QString& title) override {
        parents << parent;
        texts << text;
        titles << title;
    }
    QList<QWidget*> parents;
    QStringList texts;
    QStringList titles;
};

const QColor kBlue(0, 0, 255);
const QColor kWhite(255, 255, 255);

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

    template <typename T>
    T* Control(const char* name) const {
        T* control = about->findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }
    LinkBox* Link(const char* name) const { return Control<LinkBox>(name); }
    QString Text(const char* name) const { return Control<QLabel>(name)->text(); }

    static void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    // Through the About window's own window, as the window system delivers
    // moves and double clicks; the owner lies underneath.
    QPoint InAbout(QWidget* widget) const { return widget->mapTo(about, widget->rect().center()); }
    void MoveOver(QWidget* widget) const {
        QTest::mouseMove(about->windowHandle(), InAbout(widget));
    }
    void DoubleClick(QWidget* widget) const {
        QTest::mouseDClick(about->windowHandle(), Qt::LeftButton, {}, InAbout(widget));
    }
    static void Destroyed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    FakeDesktop desktop;
    FakeMessageBoxes messages;
    QWidget owner;
    QPointer<FrmAbout> about;
};

TEST_F(FrmAboutTest, ShowsCaptionTextsAndLinks) {
    EXPECT_EQ(about->windowTitle(), "About Vastrel");
    EXPECT_EQ(about->size(), QSize(377, 312));
    EXPECT_FALSE(about->isModal());
    EXPECT_LE((about->geometry().center() - owner.geometry().center()).manhattanLength(), 2);
    EXPECT_EQ(Text("LblAbout"), "OS:   Linux desktops (X11 and Wayland)");
    EXPECT_TRUE(Text("LblVer").startsWith("Version 2.1 \n"));
    EXPECT_EQ(Text("Label1"), "Please send comments to:");
    EXPECT_EQ(Control<QPushButton>("cmdSysInfo")->text(), "&System Info...");
    EXPECT_EQ(Control<QPushButton>("cmdOK")->text(), "&OK");
    EXPECT_TRUE(Control<QPushButton>("cmdOK")->isDefault());

    EXPECT_EQ(Link("Text1")->text(), FrmAbout::kMailAddress);
    EXPECT_EQ(Link("Text1")->toolTip(), "Click to start message");
    for (const char* web : {"txtPrimary", "txtSecondary"})
        EXPECT_EQ(Link(web)->toolTip(), "Click to visit the web site") << web;
    EXPECT_EQ(Link("txtPrimary")->text(), FrmAbout::kPrimaryAddress);
    EXPECT_EQ(Link("txtSecondary")->text(), FrmAbout::kSecondaryAddress);
    for (const char* link : {"Text1", "txtPrimary", "txtSecondary"}) {
        EXPECT_TRUE(Link(link)->isReadOnly()) << link;
        EXPECT_TRUE(Link(link)->font().bold()) << link;
        EXPECT_EQ(Link(link)->cursor().shape(), Qt::PointingHandCursor) << link;
    }
}

TEST_F(FrmAboutTest, LastLinkMovedOverStaysBlue) {
    MoveOver(Link("Text1"));
    EXPECT_EQ(Link("Text1")->TextColour(), kBlue);
    EXPECT_EQ(Link("txtPrimary")->TextColour(), kWhite);

    MoveOver(Link("txtPrimary"));
    EXPECT_EQ(Link("txtPrimary")->TextColour(), kBlue);
    EXPECT_EQ(Link("Text1")->TextColour(), kWhite);
    EXPECT_EQ(Link("txtSecondary")->TextColour(), kWhite);

    MoveOver(Control<QLabel>("LblVer"));
    MoveOver(Control<QPushButton>("cmdSysInfo"));
    EXPECT_EQ(Link("txtPrimary")->TextColour(), kBlue);
    EXPECT_EQ(Link("Text1")->TextColour(), kWhite);
}

TEST_F(FrmAboutTest, MailLinkStartsMessageAndFocusesOk) {
    Click(Link("Text1"));
    EXPECT_EQ(desktop.opened, QStringList{"mailto:" + FrmAbout::kMailAddress + "?subject=Vastrel"});
    EXPECT_EQ(about->focusWidget(), Control<QPushButton>("cmdOK"));
    EXPECT_TRUE(about->isVisible());
}

TEST_F(FrmAboutTest, WebLinksOpenTheirAddressOnce) {
    Click(Link("txtPrimary"));
    DoubleClick(Link("txtSecondary"));
    EXPECT_EQ(desktop.opened,
              (QStringList{FrmAbout::kPrimaryAddress, FrmAbout::kSecondaryAddress}));
    // Press on a link, release elsewhere: no click.
    QTest::mousePress(Link("txtPrimary"), Qt::LeftButton);
    QTest::mouseRelease(Link("txtPrimary"), Qt::LeftButton, {}, QPoint(-5, -5));
    EXPECT_EQ(desktop.opened.size(), 2);
}

TEST_F(FrmAboutTest, SystemInfoWithoutToolShowsMessage) {
    Click(Control<QPushButton>("cmdSysInfo"));
    EXPECT_TRUE(desktop.started.isEmpty());
    EXPECT_EQ(messages.texts, QStringList{"System Information Is Unavailable At This Time"});
    EXPECT_EQ(messages.titles, QStringList{""});
    EXPECT_EQ(messages.parents.value(0), about.data());
    EXPECT_TRUE(about->isVisible());
}

TEST_F(FrmAboutTest, SystemInfoStartsFirstToolFound) {
    desktop.installed = {{"hardinfo", "/usr/bin/hardinfo"}, {"lxtask", "/usr/bin/lxtask"}};
    Click(Control<QPushButton>("cmdSysInfo"));
    EXPECT_EQ(desktop.started, QStringList{"/usr/bin/hardinfo"});
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_TRUE(about->isVisible());
}

TEST_F(FrmAboutTest, SystemInfoThatFailsToStartShowsMessage) {
    desktop.installed = {{"kinfocenter", "/usr/bin/kinfocenter"}, {"lxtask", "/usr/bin/lxtask"}};
    desktop.startSucceeds = false;
    Click(Control<QPushButton>("cmdSysInfo"));
    EXPECT_EQ(desktop.started, QStringList{"/usr/bin/kinfocenter"});
    EXPECT_EQ(messages.texts, QStringList{"System Information Is Unavailable At This Time"});
    EXPECT_TRUE(about->isVisible());
}

TEST_F(FrmAboutTest, ShowingAgainReusesTheOpenWindow) {
    FrmAbout* first = about;
    EXPECT_EQ(FrmAbout::ShowAbout(about, desktop, messages, &owner), first);
    EXPECT_EQ(about.data(), first);
}

TEST_F(FrmAboutTest, OkEnterAndEscDestroyTheWindow) {
    Click(Control<QPushButton>("cmdOK"));
    Destroyed();
    EXPECT_TRUE(about.isNull());

    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        FrmAbout::ShowAbout(about, desktop, messages, &owner);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
        QTest::keyClick(Link("txtPrimary"), key);
        Destroyed();
        EXPECT_TRUE(about.isNull()) << key;
    }
    EXPECT_TRUE(desktop.opened.isEmpty());
}

}  // namespace
