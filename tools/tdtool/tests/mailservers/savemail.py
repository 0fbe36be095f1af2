# Saves messages through the mail provider as any Simple MAPI client does, over the account
# the registry store names: a new unread message with an attachment, found again unread and
# read back whole, then replaced by a second one. Prints what it checked; exit status 1 on
# the first difference. Usage: savemail.py PROVIDER ATTACHMENT
import ctypes
import sys

lib = ctypes.CDLL(sys.argv[1])
attachment = sys.argv[2]
with open(attachment, "rb") as f:
    sound = f.read()

ULONG = ctypes.c_uint32


class Recip(ctypes.Structure):
    _fields_ = [("reserved", ULONG), ("kind", ULONG), ("name", ctypes.c_char_p),
                ("address", ctypes.c_char_p), ("eidSize", ULONG), ("eid", ctypes.c_void_p)]


class File(ctypes.Structure):
    _fields_ = [("reserved", ULONG), ("flags", ULONG), ("position", ULONG),
                ("path", ctypes.c_char_p), ("name", ctypes.c_char_p), ("type", ctypes.c_void_p)]


class Message(ctypes.Structure):
    _fields_ = [("reserved", ULONG), ("subject", ctypes.c_char_p), ("note", ctypes.c_char_p),
                ("type", ctypes.c_char_p), ("date", ctypes.c_char_p),
                ("conversation", ctypes.c_char_p), ("flags", ULONG),
                ("originator", ctypes.POINTER(Recip)), ("recipCount", ULONG),
                ("recips", ctypes.POINTER(Recip)), ("fileCount", ULONG),
                ("files", ctypes.POINTER(File))]


def check(what, ok):
    print(("ok " if ok else "FAIL ") + what)
    if not ok:
        sys.exit(1)


session = ctypes.c_size_t(0)
check("logon", lib.MAPILogon(0, None, None, 0, 0, ctypes.byref(session)) == 0)
recip = Recip(0, 1, b"Bob", b"bob@localhost", 0, None)
file = File(0, 0, 0xFFFFFFFF, attachment.encode(), b"VGRAM.WAV", None)
message = Message(0, b"VOICEGRAM saved", b"kept for later", b"VOICEGRAM", None, None, 1,
                  None, 1, ctypes.pointer(recip), 1, ctypes.pointer(file))
first = ctypes.create_string_buffer(255)
check("save", lib.MAPISaveMail(session, 0, ctypes.byref(message), 0, 0, first) == 0)
check("an id", len(first.value) > 0)

unread = []
seed = b""
while True:
    found = ctypes.create_string_buffer(255)
    if lib.MAPIFindNext(session, 0, None, seed, 0x20, 0, found) != 0:
        break
    unread.append(found.value)
    seed = found.value
check("found among the unread", first.value in unread)
read = ctypes.POINTER(Message)()
peek = 0x80
check("read", lib.MAPIReadMail(session, 0, first, peek, 0, ctypes.byref(read)) == 0)
m = read.contents
check("subject", m.subject == b"VOICEGRAM saved")
check("unread kept", m.flags & 1 == 1)
check("one attachment", m.fileCount == 1 and m.files[0].name == b"VGRAM.WAV")
with open(m.files[0].path.decode(), "rb") as f:
    check("attachment bytes", f.read() == sound)
lib.MAPIFreeBuffer(read)

message.subject = b"VOICEGRAM saved again"
message.flags = 0
second = ctypes.create_string_buffer(first.value, 255)
check("replace", lib.MAPISaveMail(session, 0, ctypes.byref(message), 0, 0, second) == 0)
check("new id", second.value != first.value)
gone = ctypes.POINTER(Message)()
check("old one gone", lib.MAPIReadMail(session, 0, first, peek, 0, ctypes.byref(gone)) == 17)
check("new one read",
      lib.MAPIReadMail(session, 0, second, peek, 0, ctypes.byref(read)) == 0
      and read.contents.subject == b"VOICEGRAM saved again" and read.contents.flags & 1 == 0)
lib.MAPIFreeBuffer(read)
unknown = ctypes.create_string_buffer(b"0000099999", 255)
check("unknown id refused", lib.MAPISaveMail(session, 0, ctypes.byref(message), 0, 0, unknown) == 17)
lib.MAPILogoff(session, 0, 0, 0)
