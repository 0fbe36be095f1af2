#include "tdkit/mail/decode.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include "platform/tempfile.h"

namespace {

constexpr std::size_t kUULineBytes = 45;

char UUChar(unsigned v) {
    return v == 0 ? '`' : static_cast<char>(v + 32);
}

unsigned UUValue(char c) {
    return (static_cast<unsigned char>(c) - 32u) & 63u;
}

// Base64 value of c, or -1 outside the alphabet.
int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Position of needle in text at or after from, compared without regard to case; npos
// when absent.
std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from = 0) {
    if (needle.empty() || text.size() < needle.size())
        return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && Lower(text[i + k]) == Lower(needle[k]))
            ++k;
        if (k == needle.size())
            return i;
    }
    return std::string_view::npos;
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
    if (at + word.size() > text.size())
        return false;
    for (std::size_t k = 0; k < word.size(); ++k)
        if (Lower(text[at + k]) != Lower(word[k]))
            return false;
    return true;
}

// End of the line starting at pos (the position of its '\n', or the text's end), and the
// start of the next line.
std::size_t LineEnd(std::string_view text, std::size_t pos) {
    const std::size_t nl = text.find('\n', pos);
    return nl == std::string_view::npos ? text.size() : nl;
}
std::size_t NextLine(std::string_view text, std::size_t pos) {
    const std::size_t end = LineEnd(text, pos);
    return end < text.size() ? end + 1 : end;
}
// The line without its line feed and carriage return.
std::string_view LineAt(std::string_view text, std::size_t pos) {
    std::string_view line = text.substr(pos, LineEnd(text, pos) - pos);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::optional<QString> OutputDirectory(const QString& dir) {
    if (!dir.isEmpty())
        return dir;
    return PrivateTempDirectory();
}

bool CopyPath(const QString& path, char* out, std::size_t outSize) {
    const QByteArray bytes = QFile::encodeName(path);
    if (!out || static_cast<std::size_t>(bytes.size()) >= outSize)
        return false;
    std::memcpy(out, bytes.constData(), static_cast<std::size_t>(bytes.size()) + 1);
    return true;
}

// The name for a decoded sound: the message's own, made plain, else a fresh "VG" name.
QString NameFor(const QByteArray& raw) {
    const QString plain = CDecode::PlainFileName(raw);
    return plain.isEmpty() ? QStringLiteral("VGRAM.WAV") : plain;
}

int WriteDecoded(const std::optional<CDecode::Decoded>& decoded, const QString& dir, char* path,
                 std::size_t pathSize) {
    if (!decoded)
        return 0;
    const std::optional<QString> folder = OutputDirectory(dir);
    if (!folder)
        return 0;
    const std::optional<QString> written =
        CDecode::WriteNewFile(*folder, NameFor(decoded->name), decoded->bytes, pathSize);
    if (!written)
        return 0;
    if (!CopyPath(*written, path, pathSize)) {
        QFile::remove(*written);
        return 0;
    }
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Encoding

std::optional<std::string> CDecode::EncodeUUText(const QString& file, const QString& name) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly) || in.size() > kMaxCodedFileBytes)
        return std::nullopt;
    const QByteArray data = in.readAll();
    if (data.size() != in.size())
        return std::nullopt;
    // The name goes into the framing lines: keep it to one plain line.
    QByteArray n = PlainFileName(name.toLocal8Bit()).toLocal8Bit();
    if (n.isEmpty())
        n = "VGRAM.WAV";

    const std::size_t size = static_cast<std::size_t>(data.size());
    const std::size_t lines = (size + kUULineBytes - 1) / kUULineBytes;
    std::string text;
    text.reserve(64 + 3 * static_cast<std::size_t>(n.size()) + lines * 64);
    text += "section 1/1   file ";
    text += n.constData();
    text += "\n\nbegin 600 ";
    text += n.constData();
    text += '\n';
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    for (std::size_t at = 0; at < size; at += kUULineBytes) {
        const std::size_t count = std::min(kUULineBytes, size - at);
        text += static_cast<char>(count + 32);
        for (std::size_t g = 0; g < count; g += 3) {
            const unsigned b0 = bytes[at + g];
            const unsigned b1 = g + 1 < count ? bytes[at + g + 1] : 0;
            const unsigned b2 = g + 2 < count ? bytes[at + g + 2] : 0;
            text += UUChar(b0 >> 2);
            text += UUChar(((b0 & 3) << 4) | (b1 >> 4));
            text += UUChar(((b1 & 15) << 2) | (b2 >> 6));
            text += UUChar(b2 & 63);
        }
        text += "\r\n";
    }
    text += "\r\n";
    text += "end\n\nsection 1/1   file ";
    text += n.constData();
    text += '\n';
    return text;
}

int CDecode::EncodeUU(const QString& file, const QString& name, const QString&, char** text,
                      int* length) {
    if (!text || !length)
        return 0;
    *text = nullptr;
    std::optional<std::string> encoded = EncodeUUText(file, name);
    if (!encoded || encoded->size() > static_cast<std::size_t>(INT32_MAX) - 1)
        return 0;
    char* buffer = new char[encoded->size() + 1];
    std::memcpy(buffer, encoded->data(), encoded->size() + 1);
    *text = buffer;
    *length = static_cast<int>(encoded->size());
    return 1;
}

void CDecode::FreeText(char* text) {
    delete[] text;
}

// ---------------------------------------------------------------------------------------
// UU

std::optional<CDecode::Decoded> CDecode::ParseUU(const char* data, std::size_t size) {
    if (!data)
        return std::nullopt;
    const std::string_view text(data, size);
    // "begin" must open a line and be followed by an octal mode and a name.
    std::size_t pos = 0;
    Decoded out;
    bool found = false;
    for (std::size_t at = 0; at < text.size(); at = NextLine(text, at)) {
        const std::string_view line = LineAt(text, at);
        if (line.substr(0, 5) != "begin" || line.size() < 6 || !IsBlank(line[5]))
            continue;
        std::size_t i = 5;
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        const std::size_t modeStart = i;
        while (i < line.size() && line[i] >= '0' && line[i] <= '7')
            ++i;
        if (i == modeStart || i - modeStart > 4 || i >= line.size() || !IsBlank(line[i]))
            continue;
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        std::string_view name = line.substr(i);
        while (!name.empty() && IsBlank(name.back()))
            name.remove_suffix(1);
        if (name.empty())
            continue;
        out.name = QByteArray(name.data(), static_cast<qsizetype>(name.size()));
        pos = NextLine(text, at);
        found = true;
        break;
    }
    if (!found)
        return std::nullopt;
    while (pos < text.size() && LineAt(text, pos).empty())
        pos = NextLine(text, pos);

    // Lowercase letters never occur in UU data, so the last "end" of the text is the
    // block's end line at the latest; a block with none after it is cut off.
    const std::size_t lastEnd = text.rfind("end");
    if (lastEnd == std::string_view::npos || lastEnd < pos)
        return std::nullopt;
    bool ended = false;
    while (pos < text.size() && pos <= lastEnd) {
        const std::string_view line = LineAt(text, pos);
        if (line.empty() || line.substr(0, 3) == "end") {
            ended = true;
            break;
        }
        const std::size_t want = UUValue(line[0]);
        if (want == 0) {
            ended = true;
            break;
        }
        std::size_t got = 0;
        for (std::size_t i = 1; got < want; i += 4) {
            unsigned v[4];
            for (std::size_t k = 0; k < 4; ++k)
                v[k] = i + k < line.size() ? UUValue(line[i + k]) : 0;
            const char group[3] = {static_cast<char>((v[0] << 2) | (v[1] >> 4)),
                                   static_cast<char>(((v[1] & 15) << 4) | (v[2] >> 2)),
                                   static_cast<char>(((v[2] & 3) << 6) | v[3])};
            const std::size_t take = std::min<std::size_t>(3, want - got);
            out.bytes.append(group, static_cast<qsizetype>(take));
            got += take;
        }
        if (out.bytes.size() > kMaxCodedFileBytes)
            return std::nullopt;
        pos = NextLine(text, pos);
    }
    if (!ended || out.bytes.isEmpty())
        return std::nullopt;
    return out;
}

int CDecode::DecodeUU(const char* text, std::size_t size, const QString& dir, char* path,
                      std::size_t pathSize) {
    return WriteDecoded(ParseUU(text, size), dir, path, pathSize);
}

int CDecode::DecodeUU(const char* text, char* path) {
    if (!text)
        return 0;
    return DecodeUU(text, std::strlen(text), QString(), path, kDecodePathSize);
}

// ---------------------------------------------------------------------------------------
// MIME base64

void CDecode::DecodeMIME(const char* four, unsigned char* three) {
    unsigned v[4];
    for (int k = 0; k < 4; ++k) {
        const int value = Base64Value(four[k]);
        v[k] = value < 0 ? 0u : static_cast<unsigned>(value);
    }
    three[0] = static_cast<unsigned char>((v[0] << 2) | (v[1] >> 4));
    three[1] = static_cast<unsigned char>(((v[1] & 15) << 4) | (v[2] >> 2));
    three[2] = static_cast<unsigned char>(((v[2] & 3) << 6) | v[3]);
}

namespace {

struct Base64Part {
    std::size_t headerStart = 0;
    std::size_t headerEnd = 0;  // start of the empty line that ends the headers
    std::size_t body = 0;
};

// The header block around the line at cte: from after the previous empty line (or the
// text's start) to the next empty line.
Base64Part PartAround(std::string_view text, std::size_t cte) {
    Base64Part part;
    std::size_t start = 0;
    for (std::size_t at = 0; at < cte; at = NextLine(text, at))
        if (LineAt(text, at).empty())
            start = NextLine(text, at);
    part.headerStart = start;
    std::size_t at = cte;
    while (at < text.size() && !LineAt(text, at).empty())
        at = NextLine(text, at);
    part.headerEnd = at;
    while (at < text.size() && LineAt(text, at).empty())
        at = NextLine(text, at);
    part.body = at;
    return part;
}

// The value of "name=" in the header block: quoted, or a token. nullopt when there is
// no name; a name longer than kMaxMimeNameBytes or an unclosed quote refuses the part.
std::optional<std::optional<QByteArray>> NameIn(std::string_view headers) {
    const std::size_t at = FindNoCase(headers, "name=");
    if (at == std::string_view::npos)
        return std::optional<QByteArray>();
    std::size_t i = at + 5;
    std::string_view value;
    if (i < headers.size() && headers[i] == '"') {
        const std::size_t close = headers.find('"', i + 1);
        if (close == std::string_view::npos)
            return std::nullopt;
        value = headers.substr(i + 1, close - i - 1);
    } else {
        std::size_t end = i;
        while (end < headers.size() && headers[end] != ';' && headers[end] != '\r' &&
               headers[end] != '\n' && !IsBlank(headers[end]))
            ++end;
        value = headers.substr(i, end - i);
    }
    if (value.size() > kMaxMimeNameBytes)
        return std::nullopt;
    return std::optional<QByteArray>(
        QByteArray(value.data(), static_cast<qsizetype>(value.size())));
}

// Decodes base64 from pos: whitespace is skipped and groups run on across lines; the
// part ends at padding, at a line starting with '-' (the boundary), or at any other
// character outside the alphabet. nullopt when the bytes outgrow kMaxCodedFileBytes.
std::optional<QByteArray> DecodeBase64Body(std::string_view text, std::size_t pos) {
    QByteArray out;
    unsigned v[4];
    int have = 0;
    bool lineStart = true;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '\n') {
            lineStart = true;
            continue;
        }
        if (c == '\r' || IsBlank(c))
            continue;
        if (lineStart && c == '-')
            break;
        lineStart = false;
        const int value = Base64Value(c);
        if (value < 0)
            break;  // '=' or anything foreign ends the data
        v[have++] = static_cast<unsigned>(value);
        if (have == 4) {
            const char group[3] = {static_cast<char>((v[0] << 2) | (v[1] >> 4)),
                                   static_cast<char>(((v[1] & 15) << 4) | (v[2] >> 2)),
                                   static_cast<char>(((v[2] & 3) << 6) | v[3])};
            out.append(group, 3);
            have = 0;
            if (out.size() > kMaxCodedFileBytes)
                return std::nullopt;
        }
    }
    // A final group of two or three characters (padded or not) gives one or two bytes.
    if (have >= 2)
        out.append(static_cast<char>((v[0] << 2) | (v[1] >> 4)));
    if (have == 3)
        out.append(static_cast<char>(((v[1] & 15) << 4) | (v[2] >> 2)));
    return out;
}

}  // namespace

std::optional<CDecode::Decoded> CDecode::ParseMIME(const char* data, std::size_t size) {
    if (!data)
        return std::nullopt;
    const std::string_view text(data, size);
    std::optional<Base64Part> first, audio;
    for (std::size_t at = 0; at < text.size() && !audio; at = NextLine(text, at)) {
        const std::string_view line = LineAt(text, at);
        if (!StartsWithNoCase(line, 0, "content-transfer-encoding:"))
            continue;
        std::size_t i = 26;
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (!StartsWithNoCase(line, i, "base64"))
            continue;
        const Base64Part part = PartAround(text, at);
        const std::string_view headers =
            text.substr(part.headerStart, part.headerEnd - part.headerStart);
        if (!first)
            first = part;
        if (FindNoCase(headers, "audio/") != std::string_view::npos ||
            FindNoCase(headers, ".wav") != std::string_view::npos)
            audio = part;
        at = part.headerEnd > at ? part.headerEnd : at;
    }
    const std::optional<Base64Part> chosen = audio ? audio : first;
    if (!chosen)
        return std::nullopt;
    const auto name =
        NameIn(text.substr(chosen->headerStart, chosen->headerEnd - chosen->headerStart));
    if (!name)
        return std::nullopt;
    std::optional<QByteArray> bytes = DecodeBase64Body(text, chosen->body);
    if (!bytes || bytes->isEmpty())
        return std::nullopt;
    Decoded out;
    out.name = name->value_or(QByteArray());
    out.bytes = std::move(*bytes);
    return out;
}

int CDecode::DecodeMIMEToWAV(const char* text, std::size_t size, const QString& dir, char* path,
                             std::size_t pathSize) {
    std::optional<Decoded> decoded = ParseMIME(text, size);
    if (decoded && decoded->name.isEmpty()) {
        // Without a name of its own the sound gets a fresh "VG" name.
        const std::optional<QString> folder = OutputDirectory(dir);
        if (!folder)
            return 0;
        const std::optional<QString> reserved =
            CreateUniqueFile(*folder, QStringLiteral("VG"), QStringLiteral(".WAV"), pathSize);
        if (!reserved)
            return 0;
        QFile out(*reserved);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            out.write(decoded->bytes) != decoded->bytes.size() || !out.flush() ||
            !CopyPath(*reserved, path, pathSize)) {
            out.close();
            QFile::remove(*reserved);
            return 0;
        }
        return 1;
    }
    return WriteDecoded(decoded, dir, path, pathSize);
}

int CDecode::DecodeMIMEToWAV(const char* text, char* path) {
    if (!text)
        return 0;
    return DecodeMIMEToWAV(text, std::strlen(text), QString(), path, kDecodePathSize);
}

// ---------------------------------------------------------------------------------------
// Names and files

QString CDecode::PlainFileName(const QByteArray& raw) {
    // Only the last path component counts, with either separator.
    qsizetype cut = -1;
    for (qsizetype i = 0; i < raw.size(); ++i)
        if (raw[i] == '/' || raw[i] == '\\')
            cut = i;
    QByteArray name = raw.mid(cut + 1);
    QByteArray clean;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == ':' || c == '"')
            continue;
        clean.append(c);
    }
    // No leading dots or blanks (hidden files, ".."), no trailing ones.
    qsizetype lead = 0;
    while (lead < clean.size() && (clean[lead] == '.' || clean[lead] == ' '))
        ++lead;
    clean.remove(0, lead);
    while (!clean.isEmpty() && (clean.back() == '.' || clean.back() == ' '))
        clean.chop(1);
    QString plain = QString::fromLocal8Bit(clean);
    // Bounded length, keeping a short extension.
    if (static_cast<std::size_t>(plain.toLocal8Bit().size()) > kMaxDecodedNameBytes) {
        const qsizetype dot = plain.lastIndexOf(u'.');
        const QString ext = dot > 0 && plain.size() - dot <= 8 ? plain.mid(dot) : QString();
        QString stem = plain.left(plain.size() - ext.size());
        while (!stem.isEmpty() &&
               static_cast<std::size_t>((stem + ext).toLocal8Bit().size()) > kMaxDecodedNameBytes)
            stem.chop(1);
        plain = stem + ext;
    }
    return plain;
}

std::optional<QString> CDecode::WriteNewFile(const QString& dir, const QString& name,
                                             const QByteArray& bytes, std::size_t pathSize) {
    if (name.isEmpty() || name.contains(u'/') || name == QStringLiteral(".") ||
        name == QStringLiteral(".."))
        return std::nullopt;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    QString base = dir;
    if (!base.endsWith(u'/'))
        base += u'/';
    for (int n = 1; n <= 1000; ++n) {
        const QString candidate =
            base + (n == 1 ? name : stem + QStringLiteral("-%1").arg(n) + ext);
        const QByteArray encoded = QFile::encodeName(candidate);
        if (static_cast<std::size_t>(encoded.size()) >= pathSize)
            return std::nullopt;
        const int fd =
            ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return std::nullopt;
        }
        const char* p = bytes.constData();
        qsizetype left = bytes.size();
        bool ok = true;
        while (left > 0) {
            const ssize_t done = ::write(fd, p, static_cast<std::size_t>(left));
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0) {
                ok = false;
                break;
            }
            p += done;
            left -= done;
        }
        if (::close(fd) != 0)
            ok = false;
        if (!ok) {
            ::unlink(encoded.constData());
            return std::nullopt;
        }
        return candidate;
    }
    return std::nullopt;
}
