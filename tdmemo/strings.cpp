// tdmemo's string table, registered while the library is loaded. The program's own texts
// for the same ids are shown instead where it defines them.
#include "tdmemo/strings.h"

#include "platform/strings.h"

namespace {

const StringTableRegistrar g_memoStrings(
    StringLayer::Library, "tdmemo",
    {
        {IDS_MEMOS_CONFIGURING,
         "The Tonedeck is still configuring your Echo Memos, please try to open the drawer "
         "again."},
        {IDS_MEMOS_TRY_AGAIN, "Please Try Again"},
        {IDS_MEMOS_USER_INITIATED, "User Initiated"},
        {IDS_MEMOS_ONCE, "Once"},
        {IDS_MEMOS_HOURLY, "Hourly"},
        {IDS_MEMOS_DAILY, "Daily"},
        {IDS_MEMOS_WEEKLY, "Weekly"},
        {IDS_MEMOS_MONTHLY, "Monthly"},
        {IDS_MEMOS_YEARLY, "Yearly"},
        {IDS_MEMOS_ALREADY_PLAYED, "Already Played"},
        {IDS_MEMOS_DELETE_ONE, "Do you want to delete the selected echo memo?"},
        {IDS_MEMOS_DELETE_MANY, "Do you want to delete the selected echo memos?"},
        {IDS_MEMOS_CONFIRM, "Please Confirm"},
        {IDS_MEMOS_STATUS, "%i Note(s)     %i Selected"},
        {IDS_MEMOS_MULTIPLE, "MULTIPLE SELECTIONS"},
    });

}  // namespace
