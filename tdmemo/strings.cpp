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
    });

}  // namespace
