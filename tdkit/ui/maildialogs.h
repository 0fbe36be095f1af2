// The mail dialogs of the desktop: the log-on dialog that asks for the mail password
// (with "Remember Password"), the address dialog with its "To" and "Cc" fields, and the
// details of one recipient. InstallMailDialogs hands them to the mail wrapper, which passes them to
// the provider; the bar calls it once at start, before it starts the wrapper.
#pragma once

#include <QString>

void InstallMailDialogs();

// The dialogs themselves, for the provider's hooks: nonzero on OK.
int MailLogonDialog(const char* account, char* password, unsigned size, int* remember);
int MailAddressDialog(const char* caption, const char* toIn, const char* ccIn, char* toOut,
                      char* ccOut, unsigned size);
// Shows a recipient; with modify the name can be changed and comes back in nameOut.
int MailDetailsDialog(const char* name, const char* address, const char* about, int modify,
                      char* nameOut, unsigned size);
