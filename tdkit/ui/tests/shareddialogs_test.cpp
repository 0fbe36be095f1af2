#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include "tdkit/ui/descdlg.h"
#include "tdkit/ui/shareddialogs.h"

namespace {

int argc = 1;
char arg0[] = "tdkit_ui_tests";
char* argv[] = {arg0, nullptr};

void App() {
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

ECHOMEMOSTRUCT SampleMemo() {
    ECHOMEMOSTRUCT m{};
    m.frequency = MEMO_DAILY;
    m.played = 1;
    m.onceTime = 10 * 3600;
    m.onceYear = 2030;
    m.onceMonth = 6;
    m.onceDay = 15;
    m.hourlyTime = 15 * 60;
    m.dailyTime = 13 * 3600 + 20 * 60;  // 1:20 PM
    m.dailyDays = 0x3E;
    m.weeklyTime = 8 * 3600;
    m.weeklyDay = 2;
    m.monthlyTime = 0;
    m.monthlyDay = 40;
    m.yearlyTime = 23 * 3600;
    m.yearlyMonth = 12;
    m.yearlyDay = 25;
    return m;
}

TEST(DescDlg, OpensOnTheRecordsFrequencyInTwelveHourForm) {
    App();
    CDescDlg dlg;
    const ECHOMEMOSTRUCT memo = SampleMemo();
    dlg.SetNoteInfo(&memo, "Water the plants", 1);
    dlg.show();
    EXPECT_EQ(dlg.Frequency()->currentIndex(), MEMO_DAILY);
    EXPECT_EQ(dlg.Hours()->value(), 1);
    EXPECT_EQ(dlg.Minutes()->value(), 20);
    EXPECT_TRUE(dlg.PM()->isChecked());
    EXPECT_EQ(dlg.Readout(), " 1:20");
    EXPECT_EQ(dlg.DescriptionEdit()->text(), "Water the plants");
    EXPECT_EQ(dlg.Calendar()->GetCalendarType(), CALENDAR_DAILY);
    EXPECT_EQ(dlg.Calendar()->DisplayText(), "Daily");
    EXPECT_EQ(dlg.Hours()->minimum(), kHours12Low);
    EXPECT_EQ(dlg.Hours()->maximum(), kHours12High);

    // Minutes stepped up from 59 show 00; hours in 12-hour form wrap 12 → 1.
    dlg.Minutes()->setValue(59);
    dlg.Minutes()->stepUp();
    EXPECT_EQ(dlg.Minutes()->value(), 0);
    dlg.Hours()->setValue(12);
    dlg.Hours()->stepUp();
    EXPECT_EQ(dlg.Hours()->value(), 1);
    dlg.Hours()->stepDown();
    EXPECT_EQ(dlg.Hours()->value(), 12);
    EXPECT_EQ(dlg.Readout(), "12:00");

    // "User Initiated" disables time and date; "Hourly" shows the minutes of hourlyTime.
    dlg.Frequency()->setCurrentIndex(MEMO_USER_INITIATED);
    EXPECT_FALSE(dlg.Hours()->isEnabled());
    EXPECT_FALSE(dlg.Calendar()->isEnabled());
    dlg.Frequency()->setCurrentIndex(MEMO_HOURLY);
    EXPECT_FALSE(dlg.Hours()->isEnabled());
    EXPECT_TRUE(dlg.Minutes()->isEnabled());
    EXPECT_EQ(dlg.Minutes()->value(), 15);
    EXPECT_EQ(dlg.Readout(), "00:15");
    dlg.Minutes()->setValue(45);
    dlg.Notify()->setChecked(true);
    dlg.accept();
    ECHOMEMOSTRUCT out{};
    dlg.GetNoteInfo(&out);
    EXPECT_EQ(out.frequency, MEMO_HOURLY);
    EXPECT_EQ(out.hourlyTime, 2700);
    EXPECT_EQ(out.dailyTime, memo.dailyTime);
    EXPECT_EQ(out.onceTime, memo.onceTime);
    EXPECT_EQ(out.played, 0);
    EXPECT_EQ(out.notify, 1);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(DescDlg, TwentyFourHourFormAndTheCalendarsChoices) {
    App();
    CDescDlg dlg;
    dlg.Set24HourFormat(1);
    ECHOMEMOSTRUCT memo = SampleMemo();
    memo.frequency = MEMO_ONCE;
    dlg.SetNoteInfo(&memo, "", 0);
    dlg.show();
    EXPECT_FALSE(dlg.DescriptionEdit()->isEnabled());
    EXPECT_TRUE(dlg.AM()->isHidden());
    EXPECT_EQ(dlg.Hours()->value(), 10);
    dlg.Hours()->setValue(23);
    dlg.Hours()->stepUp();
    EXPECT_EQ(dlg.Hours()->value(), 0);
    dlg.Hours()->stepDown();
    EXPECT_EQ(dlg.Hours()->value(), 23);

    // The panels' reports reach the record the dialog returns.
    CComboCalendar* cal = dlg.Calendar();
    SendMessage(cal, WM_CALENDAR_ONCE, 0, QDate(2037, 12, 31).startOfDay().toSecsSinceEpoch());
    SendMessage(cal, WM_CALENDAR_DAILY, 0, 0);  // an empty mask is not taken
    SendMessage(cal, WM_CALENDAR_WEEKLY, 0, 7);
    SendMessage(cal, WM_CALENDAR_MONTHLY, 0, 33);
    SendMessage(cal, WM_CALENDAR_YEARLY, 0, QDate(2001, 2, 14).startOfDay().toSecsSinceEpoch());
    cal->SetCalendarType(CALENDAR_WEEKLY);
    EXPECT_EQ(cal->DisplayText(), "Saturday");
    cal->SetCalendarType(CALENDAR_MONTHLY);
    EXPECT_EQ(cal->DisplayText(), "Last Day of Month");
    cal->SetCalendarType(CALENDAR_YEARLY);
    EXPECT_EQ(cal->DisplayText(), "14 February");
    dlg.accept();
    ECHOMEMOSTRUCT out{};
    dlg.GetNoteInfo(&out);
    EXPECT_EQ(out.onceYear, 2037);
    EXPECT_EQ(out.onceMonth, 12);
    EXPECT_EQ(out.onceDay, 31);
    EXPECT_EQ(out.onceTime, 23 * 3600);
    EXPECT_EQ(out.dailyDays, memo.dailyDays);
    EXPECT_EQ(out.weeklyDay, 7);
    EXPECT_EQ(out.monthlyDay, 33);
    EXPECT_EQ(out.yearlyMonth, 2);
    EXPECT_EQ(out.yearlyDay, 14);
}

TEST(DescDlg, PanelsOpenForEveryCalendarType) {
    App();
    CComboCalendar cal;
    ECHOMEMOSTRUCT memo = SampleMemo();
    cal.SetCalendarTimes(&memo);
    cal.show();
    for (int t = CALENDAR_ONCE; t <= CALENDAR_YEARLY; ++t) {
        cal.SetCalendarType(static_cast<CALENDARTYPE>(t));
        QWidget* panel = cal.OpenPanel();
        ASSERT_NE(panel, nullptr) << t;
        EXPECT_TRUE(panel->isVisible());
        panel->close();
    }
    cal.setEnabled(false);
    EXPECT_EQ(cal.OpenPanel(), nullptr);
}

TEST(MailServicesDialog, StartsFromTheAvailableServicesAndRefusesNone) {
    App();
    CDlgMultipleMailServices dlg;
    MAILPROPERTIES available{};
    available.bMAPI = 1;
    available.bAOL = 1;
    dlg.SetAvailableServices(&available);
    EXPECT_TRUE(dlg.Box(0)->isChecked());
    EXPECT_TRUE(dlg.Box(1)->isChecked());
    EXPECT_FALSE(dlg.Box(2)->isEnabled());
    dlg.Box(0)->setChecked(false);
    dlg.Box(1)->setChecked(false);
    dlg.accept();
    EXPECT_EQ(dlg.m_strRefusal, "At least one service must be selected");
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    dlg.Box(1)->setChecked(true);
    dlg.accept();
    EXPECT_TRUE(dlg.m_strRefusal.isEmpty());
    MAILPROPERTIES out{};
    out.bCompuServe = 1;
    dlg.GetSelectedServices(&out);
    EXPECT_EQ(out.bMAPI, 0);
    EXPECT_EQ(out.bAOL, 1);
    EXPECT_EQ(out.bCompuServe, 1);
}

TEST(SmallDialogs, PasteChoiceSubjectAndDeleteConfirmation) {
    App();
    CDlgPasteSolution paste;
    paste.SelectPasteType(PASTE_MIX);
    paste.accept();
    EXPECT_EQ(paste.GetPasteType(), PASTE_MIX);

    CGetTextDlg text;
    text.m_strText = "Hello";
    text.m_bReceipt = 1;
    text.show();
    EXPECT_EQ(text.TextEdit()->text(), "Hello");
    text.TextEdit()->setText("Lunch at one");
    text.CompressBox()->setChecked(true);
    text.accept();
    EXPECT_EQ(text.m_strText, "Lunch at one");
    EXPECT_EQ(text.m_bCompress, 1);
    EXPECT_EQ(text.m_bReceipt, 1);

    CConfirmFileDelete del;
    del.m_strPath = "/tmp/x/song.wav";
    del.show();
    EXPECT_EQ(del.windowTitle(), "Confirm File Delete");
    EXPECT_EQ(del.Text(), "Are you sure you want to delete 'song.wav'?");
}

}  // namespace
