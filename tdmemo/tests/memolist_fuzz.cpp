// Fuzz target for the memo list reader and the schedule: any bytes as EMLIST.LST give
// records whose texts stay within their fields, and a next playing time for each.
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "tdmemo/memolist.h"
#include "tdmemo/schedule.h"

namespace {

std::string g_path;

void Remove() {
    std::remove(g_path.c_str());
}

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (g_path.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        g_path = std::string(tmp && *tmp ? tmp : "/tmp") + "/memolist_fuzz." +
                 std::to_string(::getpid()) + ".LST";
        std::atexit(Remove);
        setenv("TZ", "Europe/Berlin", 1);
    }
    FILE* f = std::fopen(g_path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);

    std::vector<MemoListRecord> records;
    const QString name = QString::fromStdString(g_path);
    Check(ReadMemoListFile(name, &records));
    Check(records.size() <= size / kMemoListRecordSize);
    std::vector<ECHOMEMOLISTENTRY> entries;
    for (const MemoListRecord& r : records) {
        Check(HasMemoListPath(r.entry));
        // Texts are read up to their zero and never past their field: no more characters
        // than the field has bytes.
        Check(MemoListPath(r.entry).size() <= kMemoListTextSize);
        Check(MemoListDescription(r.entry).size() <= kMemoListTextSize);
        const time_t now = static_cast<time_t>(r.entry.nextTime);
        int scheduled = -1;
        const time_t next = NextPlayTime(r.entry.memo, now, &scheduled);
        Check(scheduled == 0 || scheduled == 1);
        Check(next >= 0);
        entries.push_back(r.entry);
    }
    // What was read writes back and reads the same.
    if (!entries.empty()) {
        Check(WriteMemoListFile(name, entries));
        std::vector<MemoListRecord> again;
        Check(ReadMemoListFile(name, &again) && again.size() == entries.size());
    }
    return 0;
}
