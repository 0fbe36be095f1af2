// CSimpleMapi: the way into the user's mail system. The mail provider is a shared object
// loaded when the wrapper starts, its twelve entry points looked up by name, so the bar
// runs on machines without mail. Without a provider the wrapper stays disabled and every
// operation answers 0.
#pragma once

#include <QString>

#include "platform/library.h"

// The provider the wrapper loads unless the registry store names another
// ("SOFTWARE\\Tonedeck\\Mail", value "Provider", current user).
inline constexpr char kDefaultMailProvider[] = "libtdmapi.so";

class CSimpleMapi {
public:
    CSimpleMapi() = default;
    ~CSimpleMapi() { End(); }
    CSimpleMapi(const CSimpleMapi&) = delete;
    CSimpleMapi& operator=(const CSimpleMapi&) = delete;

    // Loads the provider and logs on; stays disabled silently when there is no provider,
    // mail is not installed, or an entry point is missing.
    void Start();
    void End();
    int IsMAPIEnabled() const { return enabled_ ? 1 : 0; }

    // The provider's file name as configured.
    static QString ProviderName();

private:
    // Entry points, in the order they are looked up; each is required.
    static constexpr const char* kEntryPoints[12] = {
        "MAPILogon",      "MAPILogoff",   "MAPISendMail", "MAPISendDocuments",
        "MAPIFindNext",   "MAPIReadMail", "MAPISaveMail", "MAPIDeleteMail",
        "MAPIFreeBuffer", "MAPIAddress",  "MAPIDetails",  "MAPIResolveName"};

    SharedLibrary library_;
    void* entries_[12] = {};
    uintptr_t session_ = 0;
    bool enabled_ = false;
};
