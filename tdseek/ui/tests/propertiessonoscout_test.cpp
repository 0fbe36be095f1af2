#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

#include "tdseek/ui/propertiessonoscout.h"
#include "tdseek/ui/searchlocationdlg.h"

namespace {

int argc = 1;
char name[] = "seek_page_tests";
char* argv[] = {name, nullptr};

class Page : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QApplication::instance())
            new QApplication(argc, argv);
        record_ = DefaultProperties({}).SonoscoutProps;
    }
    SONOSCOUTPROPERTIES record_{};
};

TEST_F(Page, IntervalShowsHoursAndMinutesAndStoresSeconds) {
    record_.nFrequency = 1;
    record_.dwIntervalSeconds = 5400;
    record_.bChanged = 1;
    CPropertiesSonoscout page;
    page.InitProperties(&record_);
    EXPECT_EQ(record_.bChanged, 0);
    EXPECT_EQ(page.Frequency()->currentIndex(), 1);
    EXPECT_EQ(page.TimeText()->text(), " 1:30");
    EXPECT_EQ(page.TimeLabel()->text(), "Every:");
    EXPECT_FALSE(page.Day(0)->isEnabled());
    EXPECT_FALSE(page.AM()->isEnabled());
    page.Minutes()->setValue(60);  // past the end: wraps to 0
    EXPECT_EQ(page.Minutes()->value(), 0);
    page.Hours()->setValue(13);
    EXPECT_EQ(page.Hours()->value(), 1);
    page.Minutes()->setValue(45);
    SONOSCOUTPROPERTIES out = record_;
    EXPECT_EQ(page.UpdateProperties(&out), 1);
    EXPECT_EQ(out.dwIntervalSeconds, DWORD(3600 + 45 * 60));
    EXPECT_EQ(out.nFrequency, 1);
    EXPECT_EQ(out.bChanged, 1);
}

TEST_F(Page, DailyAtNoonIsPMAndDaysAndListPositionsMap) {
    record_.nFrequency = 24;
    record_.dwTimeOfDay = 12 * 3600 + 15 * 60;
    record_.wDays = (1 << 0) | (1 << 4);  // Sunday and Thursday
    CPropertiesSonoscout page;
    page.InitProperties(&record_);
    EXPECT_EQ(page.Frequency()->currentIndex(), 2);
    EXPECT_EQ(page.TimeLabel()->text(), "Daily At:");
    EXPECT_EQ(page.TimeText()->text(), "12:15");
    EXPECT_TRUE(page.PM()->isChecked());
    EXPECT_TRUE(page.Day(0)->isChecked());
    EXPECT_TRUE(page.Day(4)->isChecked());
    EXPECT_FALSE(page.Day(1)->isChecked());
    SONOSCOUTPROPERTIES out = record_;
    page.UpdateProperties(&out);
    EXPECT_EQ(out.dwTimeOfDay, DWORD(12 * 3600 + 15 * 60)) << "noon stays noon";
    EXPECT_EQ(out.wDays, record_.wDays);
    EXPECT_EQ(out.nFrequency, 24);
    page.AM()->setChecked(true);
    page.UpdateProperties(&out);
    EXPECT_EQ(out.dwTimeOfDay, DWORD(15 * 60)) << "12:15 AM is a quarter past midnight";
    page.Frequency()->setCurrentIndex(3);
    page.UpdateProperties(&out);
    EXPECT_EQ(out.nFrequency, 2);
    EXPECT_FALSE(page.Hours()->isEnabled());
}

TEST(DriveList, EntriesNameTheDriveByItsKind) {
    if (!QApplication::instance())
        new QApplication(argc, argv);
    std::vector<Drive> table(4);
    table[0].letter = 'A', table[0].type = DriveType::Removable;
    table[1].letter = 'C', table[1].type = DriveType::Fixed, table[1].label = "SYSTEM";
    table[2].letter = 'E', table[2].type = DriveType::Removable, table[2].label = "STICK";
    table[3].letter = 'N', table[3].type = DriveType::Remote;
    table[3].universalName = "//nas/music";
    BOOL flags[26] = {};
    flags[0] = 1;  // A: is kept as it was, never offered
    flags[13] = 1;
    CDriveList list;
    list.Fill(flags, table);
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.item(0)->text(), "C:\\ SYSTEM");
    EXPECT_EQ(list.item(1)->text(), "E:\\");
    EXPECT_EQ(list.item(2)->text(), "N:\\ /nas/music\\");
    EXPECT_EQ(list.item(2)->checkState(), Qt::Checked);
    list.item(0)->setCheckState(Qt::Checked);
    list.item(2)->setCheckState(Qt::Unchecked);
    BOOL out[26] = {};
    list.Read(out);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[2], 1);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(out[13], 0);
}

}  // namespace
