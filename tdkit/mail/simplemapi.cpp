#include "tdkit/mail/simplemapi.h"

#include "platform/notice.h"
#include "platform/registry.h"
#include "tdkit/settings/paths.h"

namespace {

// The provider's log-on entry: (uiParam, profile, password, flags, reserved, session*).
using LogonFn = unsigned long (*)(uintptr_t, const char*, const char*, unsigned long, unsigned long,
                                  uintptr_t*);
using LogoffFn = unsigned long (*)(uintptr_t, uintptr_t, unsigned long, unsigned long);
constexpr unsigned long kLogonUi = 0x00000001;

}  // namespace

QString CSimpleMapi::ProviderName() {
    if (const auto key =
            RegKey::Open(RegRoot::CurrentUser, QStringLiteral("SOFTWARE\\Tonedeck\\Mail")))
        if (const auto name = key->QueryString(QStringLiteral("Provider"));
            name && !name->isEmpty())
            return *name;
    return QString::fromLatin1(kDefaultMailProvider);
}

void CSimpleMapi::Start() {
    if (enabled_)
        return;
    if (!library_.Load(ProviderName()) || !IsMAPIInstalled()) {
        library_.Unload();
        return;
    }
    for (int i = 0; i < 12; ++i) {
        entries_[i] = library_.Resolve(kEntryPoints[i]);
        if (!entries_[i]) {
            library_.Unload();
            return;
        }
    }
    auto logon = reinterpret_cast<LogonFn>(entries_[0]);
    if (logon(0, nullptr, nullptr, kLogonUi, 0, &session_) == 0) {
        enabled_ = true;
    } else {
        session_ = 0;
        ShowNotice(nullptr, QString(), QStringLiteral("MAPI Logon Failed"), NoticeKind::Information);
    }
}

void CSimpleMapi::End() {
    if (enabled_ && session_ && entries_[1])
        reinterpret_cast<LogoffFn>(entries_[1])(session_, 0, 0, 0);
    session_ = 0;
    enabled_ = false;
    library_.Unload();
}
