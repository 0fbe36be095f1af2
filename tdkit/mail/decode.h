// CDecode: a WAV file as mail text and back, for mail paths that cannot carry
// attachments. EncodeUU writes the sound as a UU block framed for a CompuServe message
// text; DecodeUU and DecodeMIMEToWAV recover the sound from the text of a received
// message (a UU block, or a MIME part in base64). Keeps no state between calls.
//
// A decoded file gets a plain name (no folders, no "..", no leading dot, no control
// characters, at most kMaxDecodedNameBytes bytes), is written in a private folder (the
// user's private temporary folder unless the caller names another), and never replaces
// an existing file: a taken name gets "-2", "-3"... before its extension.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Buffer size of a decoded file's path, its terminating NUL included.
inline constexpr std::size_t kDecodePathSize = 260;
// Largest file EncodeUU reads and largest sound a decode writes.
inline constexpr std::int64_t kMaxCodedFileBytes = 64 * 1024 * 1024;
// Longest plain name a decoded file gets, in bytes of the local encoding.
inline constexpr std::size_t kMaxDecodedNameBytes = 120;
// Longest name a MIME part may give; a longer one is not decoded.
inline constexpr std::size_t kMaxMimeNameBytes = 259;

class CDecode {
public:
    // The layout below, built from the file at path under the attachment name:
    //   "section 1/1   file N\n\nbegin 600 N\n", one data line per 45 bytes ending in
    //   CR LF, an empty line (CR LF), "end\n\nsection 1/1   file N\n".
    // In *text a new[] buffer the caller frees with FreeText, its length in *length.
    // noteText is not used. 0 (and *text null) when the file cannot be read or is larger
    // than kMaxCodedFileBytes.
    static int EncodeUU(const QString& file, const QString& name, const QString& noteText,
                        char** text, int* length);
    static void FreeText(char* text);
    // The same, as a string; nullopt on failure.
    static std::optional<std::string> EncodeUUText(const QString& file, const QString& name);

    // Finds a UU block ("begin" at the start of a line, an octal mode and a name) and
    // writes its bytes to a new file; the file's path goes into path (kDecodePathSize
    // bytes). 1 on success; 0 without a block, for a block that is cut off before its end,
    // for an empty sound, or on a file error (nothing is left behind).
    static int DecodeUU(const char* text, char* path);
    // Finds a base64 MIME part ("Content-Transfer-Encoding: base64", any case; a part
    // whose headers name an audio type or a .wav file is preferred) and writes its bytes
    // to a new file, named by the part's "name=" or a fresh "VG" name. 1 on success.
    static int DecodeMIMEToWAV(const char* text, char* path);

    // The same over size bytes of text (no NUL needed), writing into dir (empty: the
    // private temporary folder) and the path into a buffer of pathSize bytes; a path that
    // does not fit is refused.
    static int DecodeUU(const char* text, std::size_t size, const QString& dir, char* path,
                        std::size_t pathSize);
    static int DecodeMIMEToWAV(const char* text, std::size_t size, const QString& dir, char* path,
                               std::size_t pathSize);

    // One group of four base64 characters to three bytes; characters outside the
    // alphabet and "=" count as 0.
    static void DecodeMIME(const char* four, unsigned char* three);

    // The bytes of the first UU block / base64 part and the name the message gives them
    // (raw, as in the text); nullopt when there is none or it is cut off. Used by the
    // decoders above and by tests.
    struct Decoded {
        QByteArray name;
        QByteArray bytes;
    };
    static std::optional<Decoded> ParseUU(const char* text, std::size_t size);
    static std::optional<Decoded> ParseMIME(const char* text, std::size_t size);

    // The plain file name a raw name from a message becomes ("" when nothing usable is
    // left).
    static QString PlainFileName(const QByteArray& raw);
    // Creates dir/name (or name-2, name-3... when taken) with mode 0600 and writes bytes;
    // the new file's path, or nullopt (nothing left behind) on failure or when the path
    // would need pathSize bytes or more.
    static std::optional<QString> WriteNewFile(const QString& dir, const QString& name,
                                               const QByteArray& bytes, std::size_t pathSize);
};
