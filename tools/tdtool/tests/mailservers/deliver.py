"""SMTP handler for the mail tests: delivers each accepted message into the Maildir of
its recipient's local part below a root folder (root/<user>/Maildir), the Maildir way
(tmp/ then a rename into new/). Recipients without a folder are refused."""
import os
import socket
import time


class Deliver:
    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) != 1:
            parser.error("deliver.Deliver needs the mail root folder")
        return cls(args[0])

    def __init__(self, root):
        self.root = root
        self.count = 0

    def _maildir(self, address):
        user = address.split("@", 1)[0]
        if not user or "/" in user or user.startswith("."):
            return None
        path = os.path.join(self.root, user, "Maildir")
        return path if os.path.isdir(path) else None

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self._maildir(address) is None:
            return "550 5.1.1 no such user"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        content = envelope.original_content or envelope.content
        if isinstance(content, str):
            content = content.encode("utf-8", "surrogateescape")
        for address in envelope.rcpt_tos:
            folder = self._maildir(address)
            self.count += 1
            name = "%d.P%dQ%d.%s" % (time.time(), os.getpid(), self.count, socket.gethostname())
            tmp = os.path.join(folder, "tmp", name)
            with open(tmp, "wb") as out:
                out.write(content)
                out.flush()
                os.fsync(out.fileno())
            os.chmod(tmp, 0o666)
            os.rename(tmp, os.path.join(folder, "new", name))
        return "250 Message accepted for delivery"
