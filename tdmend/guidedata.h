// The Fixit Guide's database: prompts (the text of a screen), frames (one screen each:
// title, buttons and their actions, picture, prompt and control configuration) and control
// configurations (which controls a screen offers and what Play and Record do), and the
// archive they are stored in.
//
// The archive is a little-endian byte stream of three object arrays, prompts, frames and
// control configurations, with nothing before, between or after them:
//   array   16-bit count (0xFFFF and a 32-bit count for 65535 or more), then the objects
//   object  16-bit tag: 0xFFFF starts a class not seen before (16-bit schema, 16-bit name
//           length, the name); bit 15 set names a class seen before by its index; 0 is a
//           null object; other values refer back to an object read before. Classes and
//           objects share one index counter that starts at 1.
//   string  8-bit length below 255; else 0xFF and a 16-bit length below 0xFFFE; else
//           0xFF, 0xFFFF and a 32-bit length; then the bytes, no terminator
// Each record is owned by its array. The reader refuses what would break that: null
// elements, references back to objects (they would alias a record another slot owns),
// objects of the wrong class for their array, and any count or length that runs past the
// end of the data.
#pragma once

#include <QByteArray>
#include <QString>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

static_assert(std::endian::native == std::endian::little, "the archive is read in place");

struct CPrompt {
    int32_t identifier = 0;
    QByteArray text;
    QByteArray question;  // ends with a newline

    bool operator==(const CPrompt&) const = default;
};

struct CFrame {
    int32_t titleIndex = 0;   // 1..25 picks the screen title
    int32_t buttonFlags = 0;  // bits 0/1 Yes shown/enabled, 2/3 No, 4/5 Next
    int32_t prompt = 0;       // below 1: a built-in test
    int32_t controlConfig = 0;
    int32_t reserved = 0;
    int32_t identifier = 0;
    QByteArray picture;  // "res N"
    QByteArray yesText, noText, nextText;
    QByteArray yesAction, noAction, nextAction;

    bool operator==(const CFrame&) const = default;
};

struct CControlConfig {
    uint32_t showFlags = 0;    // bit 0 Play, 1 Record, 2 status icon, 3 volume group,
                               // 4 topic buttons, 5 question, 6 small picture
    uint32_t enableFlags = 0;  // bits 0..4 as above
    int32_t identifier = 0;
    int32_t device = 0;  // 0 wave out, 1 synthesizer, 2 CD, 3 microphone, else master
    QByteArray label;
    QByteArray playAction;
    QByteArray recordAction;

    bool operator==(const CControlConfig&) const = default;
};

// The fixed-size parts of the stored objects, as they lie in the stream.
#pragma pack(push, 1)
struct ArchiveNewClassHead {
    uint16_t tag;  // 0xFFFF
    uint16_t schema;
    uint16_t nameLength;
};
struct ArchivePromptHead {
    int32_t identifier;
};
struct ArchiveFrameHead {
    int32_t titleIndex;
    int32_t buttonFlags;
    int32_t identifier;
    int32_t prompt;
    int32_t controlConfig;
    int32_t reserved;
};
struct ArchiveControlHead {
    uint32_t showFlags;
    uint32_t enableFlags;
    int32_t identifier;
    int32_t device;
};
#pragma pack(pop)
static_assert(sizeof(ArchiveNewClassHead) == 6);
static_assert(offsetof(ArchiveNewClassHead, schema) == 2);
static_assert(offsetof(ArchiveNewClassHead, nameLength) == 4);
static_assert(sizeof(ArchivePromptHead) == 4);
static_assert(sizeof(ArchiveFrameHead) == 24);
static_assert(offsetof(ArchiveFrameHead, identifier) == 8);
static_assert(offsetof(ArchiveFrameHead, prompt) == 12);
static_assert(offsetof(ArchiveFrameHead, controlConfig) == 16);
static_assert(offsetof(ArchiveFrameHead, reserved) == 20);
static_assert(sizeof(ArchiveControlHead) == 16);
static_assert(offsetof(ArchiveControlHead, identifier) == 8);
static_assert(offsetof(ArchiveControlHead, device) == 12);

inline constexpr uint16_t kArchiveNewClassTag = 0xFFFF;
inline constexpr uint16_t kArchiveClassTagBit = 0x8000;
inline constexpr uint16_t kArchiveSchema = 1;
// Class names are short identifiers; a longer one is a corrupt archive.
inline constexpr uint16_t kArchiveMaxClassName = 64;

// Appends one string in the archive's length form.
void WriteArchiveString(QByteArray& out, const QByteArray& text);

struct ArchiveError {
    qsizetype offset = -1;  // where reading stopped; -1 when there was no error
    QString what;
    explicit operator bool() const { return offset >= 0; }
};

class CFixitGuideDatabase {
public:
    std::vector<CPrompt> prompts;
    std::vector<CFrame> frames;
    std::vector<CControlConfig> controls;

    // The first record with the identifier, or null.
    const CPrompt* FindPrompt(int32_t id) const;
    const CFrame* FindFrame(int32_t id) const;
    const CControlConfig* FindControlConfig(int32_t id) const;
    static constexpr int32_t kFirstFrame = 1;

    // The archive image of the whole database; nullopt when the counts do not fit the
    // format's tags.
    std::optional<QByteArray> Serialize() const;
    // Appends the records of an archive image. On an error the records read before it
    // stay and the error says where and why.
    ArchiveError Deserialize(const QByteArray& image);

    bool operator==(const CFixitGuideDatabase&) const = default;
};
