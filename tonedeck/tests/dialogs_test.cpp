// The bar's dialogs and help pages: what they look like to the window manager, and what
// the user learns when no browser opens a page.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include "panelfixture.h"
#include "tdkit/settings/install.h"
#include "tdkit/settings/paths.h"
#include "tonedeck/dialogs.h"

namespace {

class HelpPages : public ::testing::Test {
protected:
    void SetUp() override {
        PanelTestApp();
        ASSERT_TRUE(dir_.isValid());
        qputenv("TONEDECK_REGISTRY_DIR", (dir_.path() + "/reg").toLocal8Bit());
        ASSERT_TRUE(InstallTonedeck(dir_.path() + "/root", "Ann").ok);
        ASSERT_TRUE(GetTonedeckHelpDirectory(help_));
        SetHelpPageOpener([this](const QString& path) {
            opened_ << path;
            return browser_;
        });
        SetHelpPageNotice([this](const QString& text) { told_ << text; });
    }
    void TearDown() override {
        SetHelpPageOpener(nullptr);
        SetHelpPageNotice(nullptr);
        qunsetenv("TONEDECK_REGISTRY_DIR");
    }
    void Press(QWidget& dialog, const char* button) {
        auto* push = dialog.findChild<QPushButton*>(QLatin1String(button));
        ASSERT_NE(push, nullptr) << button;
        push->click();
    }

    QTemporaryDir dir_;
    QString help_;
    bool browser_ = true;
    QStringList opened_, told_;
};

}  // namespace

TEST_F(HelpPages, TheTutorialAndReleaseNotesAreOurOwnPagesInTheHelpFolder) {
    ASSERT_TRUE(InstallHelpPages());
    for (const char* page : kHelpPages) {
        QFile f(QDir(help_).filePath(QLatin1String(page)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << page;
        EXPECT_TRUE(f.readAll().startsWith("<!DOCTYPE html>")) << page;
    }
    CWelcomeDlg welcome({});
    Press(welcome, "button1096");
    Press(welcome, "button1095");
    EXPECT_EQ(opened_, QStringList({QDir(help_).filePath("tutorial.html"),
                                    QDir(help_).filePath("Release_Notes.html")}));
    EXPECT_TRUE(told_.isEmpty());
}

TEST_F(HelpPages, WithoutABrowserTheUserIsToldWhereThePageIs) {
    browser_ = false;
    // A page removed since the start is put back before it is offered.
    QFile::remove(QDir(help_).filePath("tutorial.html"));
    EXPECT_FALSE(OpenHelpPage(QLatin1String(kTutorialPage)));
    const QString path = QDir(help_).filePath("tutorial.html");
    ASSERT_EQ(told_.size(), 1);
    EXPECT_TRUE(told_[0].contains(path)) << told_[0].toStdString();
    EXPECT_TRUE(QFile::exists(path));
    OpenHelpFile();
    ASSERT_EQ(told_.size(), 2);
    EXPECT_TRUE(told_[1].contains(QDir(help_).filePath("Tonedeck.html")));
}

TEST_F(HelpPages, AnUnknownPageIsReportedMissingNotOpened) {
    EXPECT_FALSE(OpenHelpPage(QStringLiteral("nothing.html")));
    EXPECT_TRUE(opened_.isEmpty());
    ASSERT_EQ(told_.size(), 1);
    EXPECT_TRUE(told_[0].contains("missing"));
}

TEST(BarDialogs, AreFixedInSizeWithoutMinimiseOrMaximiseAndCentredOnTheScreen) {
    PanelTestApp();
    QWidget bar;
    bar.setGeometry(0, 0, 56, 600);
    CNoMailDlg notice(&bar);
    CWelcomeDlg welcome({}, &bar);
    for (QDialog* d : {static_cast<QDialog*>(&notice), static_cast<QDialog*>(&welcome)}) {
        SCOPED_TRACE(d->windowTitle().toStdString());
        const Qt::WindowFlags flags = d->windowFlags();
        EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
        EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
        EXPECT_EQ(d->minimumSize(), d->maximumSize());
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_LE(std::abs(d->geometry().center().x() - area.center().x()), 1);
        EXPECT_LE(std::abs(d->geometry().center().y() - area.center().y()), 1);
    }
}

// A window manager that puts a dialog elsewhere as it maps it (the screen's corner) has
// the dialog put back where it was centred; a move made later, as a user's drag, stays.
TEST(BarDialogs, APlacementTheWindowManagerChangesAsTheDialogShowsIsUndone) {
    PanelTestApp();
    QWidget bar;
    bar.setGeometry(0, 0, 56, 600);
    CNoMailDlg notice(&bar);
    const QPoint centred = notice.geometry().topLeft();
    ASSERT_NE(centred, QPoint(0, 0));
    notice.show();
    notice.setGeometry(QRect(QPoint(0, 0), notice.size()));
    QElapsedTimer waited;
    waited.start();
    while (notice.geometry().topLeft() != centred && waited.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(notice.geometry().topLeft(), centred);

    // Past the first half second the dialog is where the user puts it.
    while (waited.elapsed() < 700)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    notice.setGeometry(QRect(QPoint(10, 10), notice.size()));
    waited.restart();
    while (waited.elapsed() < 600)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(notice.geometry().topLeft(), QPoint(10, 10));
    notice.hide();
}
