#include "platform/mapi/addressbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "platform/registry.h"

QString AddressBookFilePath() {
    return QFileInfo(RegistryFilePath(RegRoot::CurrentUser)).absolutePath() +
           QStringLiteral("/addressbook.txt");
}

std::vector<MailAddress> LoadAddressBook() {
    std::vector<MailAddress> book;
    QFile f(AddressBookFilePath());
    if (!f.open(QIODevice::ReadOnly))
        return book;
    while (!f.atEnd() && static_cast<int>(book.size()) < kMaxAddressBookEntries) {
        const QString line = QString::fromUtf8(f.readLine(4096)).trimmed();
        const qsizetype tab = line.indexOf(u'\t');
        if (tab < 0)
            continue;
        MailAddress a{line.left(tab), line.mid(tab + 1)};
        if (IsPlainAddress(a.address))
            book.push_back(a);
    }
    return book;
}

bool RememberRecipients(const std::vector<MailAddress>& recipients) {
    if (recipients.empty())
        return true;
    std::vector<MailAddress> book;
    for (const MailAddress& r : recipients) {
        MailAddress a{OneLine(r.name).remove(u'\t'), CleanAddress(r.address)};
        if (!IsPlainAddress(a.address))
            continue;
        if (a.name.isEmpty())
            a.name = a.address;
        book.push_back(a);
    }
    for (const MailAddress& old : LoadAddressBook()) {
        bool known = false;
        for (const MailAddress& a : book)
            known = known || a.address.compare(old.address, Qt::CaseInsensitive) == 0;
        if (!known)
            book.push_back(old);
    }
    if (static_cast<int>(book.size()) > kMaxAddressBookEntries)
        book.resize(kMaxAddressBookEntries);
    const QString path = AddressBookFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (const MailAddress& a : book)
        f.write((a.name + u'\t' + a.address + u'\n').toUtf8());
    return f.commit();
}

bool RenameRecipient(const QString& address, const QString& name) {
    const QString clean = OneLine(name).remove(u'\t').trimmed();
    if (clean.isEmpty())
        return false;
    std::vector<MailAddress> book = LoadAddressBook();
    bool found = false;
    for (MailAddress& a : book)
        if (a.address.compare(CleanAddress(address), Qt::CaseInsensitive) == 0) {
            a.name = clean;
            found = true;
        }
    if (!found)
        return false;
    QSaveFile f(AddressBookFilePath());
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (const MailAddress& a : book)
        f.write((a.name + u'\t' + a.address + u'\n').toUtf8());
    return f.commit();
}

std::vector<MailAddress> ResolveRecipient(const QString& name) {
    const QString wanted = CleanAddress(name);
    std::vector<MailAddress> exact, partial;
    if (wanted.isEmpty())
        return exact;
    for (const MailAddress& a : LoadAddressBook()) {
        if (a.address.compare(wanted, Qt::CaseInsensitive) == 0 ||
            a.name.compare(wanted, Qt::CaseInsensitive) == 0)
            exact.push_back(a);
        else if (a.address.contains(wanted, Qt::CaseInsensitive) ||
                 a.name.contains(wanted, Qt::CaseInsensitive))
            partial.push_back(a);
    }
    if (!exact.empty())
        return {exact.front()};
    if (IsPlainAddress(wanted) && (wanted.contains(u'@') || partial.empty()))
        return {MailAddress{wanted, wanted}};
    return partial;
}
