// The small address book of recent recipients: a text file beside the user's registry
// file, one "name<TAB>address" a line, newest first, at most kMaxAddressBookEntries.
#pragma once

#include <QString>

#include <vector>

#include "platform/mapi/mime.h"

inline constexpr int kMaxAddressBookEntries = 100;

QString AddressBookFilePath();
std::vector<MailAddress> LoadAddressBook();
// Puts the recipients first (a known address moves up); rewritten beside and renamed.
bool RememberRecipients(const std::vector<MailAddress>& recipients);
// Gives the entry of that address (without regard to case) a new name, in its place.
// False when the address is not in the book or the book cannot be written.
bool RenameRecipient(const QString& address, const QString& name);
// The entries a name stands for: an exact address or name (without regard to case)
// gives that entry; otherwise the entries whose name or address contain it. A plain
// address not in the book resolves to itself.
std::vector<MailAddress> ResolveRecipient(const QString& name);
