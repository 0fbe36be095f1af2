// The mail dialogs: what the user types comes back within the provider's buffers, and a
// text that does not fit is refused rather than cut.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>

#include "tdkit/ui/maildialogs.h"

namespace {

int argc = 1;
char arg0[] = "maildialogs_test";
char* argv[] = {arg0, nullptr};

void App() {
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

// Fills the next modal dialog's line edits (in order) and accepts or rejects it.
void Answer(QStringList texts, bool accept, bool tick = false) {
    QTimer::singleShot(0, [texts, accept, tick] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        const auto edits = dialog->findChildren<QLineEdit*>();
        for (int i = 0; i < edits.size() && i < texts.size(); ++i)
            edits[i]->setText(texts[i]);
        if (auto* box = dialog->findChild<QCheckBox*>())
            box->setChecked(tick);
        accept ? dialog->accept() : dialog->reject();
    });
}

TEST(MailDialogs, AddressDialogRoundTripAndBounds) {
    App();
    char to[32], cc[32];
    Answer({"ann@localhost; bob", "kim"}, true);
    ASSERT_EQ(MailAddressDialog("Address", "x", "", to, cc, sizeof to), 1);
    EXPECT_STREQ(to, "ann@localhost; bob");
    EXPECT_STREQ(cc, "kim");
    Answer({QString(40, u'a'), ""}, true);
    EXPECT_EQ(MailAddressDialog("Address", "", "", to, cc, sizeof to), 0);
    Answer({"someone", ""}, false);
    EXPECT_EQ(MailAddressDialog("Address", "", "", to, cc, sizeof to), 0);
}

TEST(MailDialogs, LogonDialogGivesThePasswordAndTheRememberFlag) {
    App();
    char password[16];
    int remember = -1;
    Answer({"s3cret"}, true, true);
    ASSERT_EQ(MailLogonDialog("ann on imaps://mail", password, sizeof password, &remember), 1);
    EXPECT_STREQ(password, "s3cret");
    EXPECT_EQ(remember, 1);
    Answer({"far too long for the buffer"}, true);
    EXPECT_EQ(MailLogonDialog("ann", password, sizeof password, &remember), 0);
    Answer({"x"}, false);
    EXPECT_EQ(MailLogonDialog("ann", password, sizeof password, &remember), 0);
}

TEST(MailDialogs, DetailsDialogChangesTheNameOnlyWhenAllowed) {
    App();
    char name[16];
    // Shown only: the name cannot be edited and closing is not a cancel.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->findChildren<QLineEdit*>().at(0)->isReadOnly());
        dialog->reject();
    });
    ASSERT_EQ(MailDetailsDialog("Ann", "ann@localhost", "about", 0, name, sizeof name), 1);
    EXPECT_STREQ(name, "Ann");
    Answer({"Annie"}, true);
    ASSERT_EQ(MailDetailsDialog("Ann", "ann@localhost", "about", 1, name, sizeof name), 1);
    EXPECT_STREQ(name, "Annie");
    Answer({"Annie"}, false);
    EXPECT_EQ(MailDetailsDialog("Ann", "ann@localhost", "about", 1, name, sizeof name), 0);
    Answer({"a name far too long"}, true);
    EXPECT_EQ(MailDetailsDialog("Ann", "ann@localhost", "about", 1, name, sizeof name), 0);
}

}  // namespace
