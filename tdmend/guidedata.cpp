// The guide database's records and their archive stream.
#include "tdmend/guidedata.h"

#include <cstring>
#include <map>
#include <optional>

namespace {

enum class RecordClass { Prompt, Frame, Control };

const char* ClassName(RecordClass c) {
    switch (c) {
        case RecordClass::Prompt:
            return "CPrompt";
        case RecordClass::Frame:
            return "CFrame";
        case RecordClass::Control:
            return "CControlConfig";
    }
    return "";
}

std::optional<RecordClass> ClassByName(const QByteArray& name) {
    for (RecordClass c : {RecordClass::Prompt, RecordClass::Frame, RecordClass::Control})
        if (name == ClassName(c))
            return c;
    return std::nullopt;
}

template <typename T>
void Append(QByteArray& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Writes objects with the shared class/object index counter.
class Writer {
public:
    bool WriteCount(std::size_t count) {
        if (count < 0xFFFF) {
            Append(out, static_cast<uint16_t>(count));
        } else {
            if (count > 0xFFFFFFFFu)
                return false;
            Append(out, uint16_t{0xFFFF});
            Append(out, static_cast<uint32_t>(count));
        }
        return true;
    }
    // The class part of one new object; false when the indices no longer fit a tag.
    bool WriteObjectTag(RecordClass c) {
        auto found = classIndex_.find(c);
        if (found == classIndex_.end()) {
            if (next_ >= 0x7FFF)
                return false;
            const char* name = ClassName(c);
            const ArchiveNewClassHead head{kArchiveNewClassTag, kArchiveSchema,
                                           static_cast<uint16_t>(std::strlen(name))};
            Append(out, head);
            out.append(name);
            found = classIndex_.emplace(c, next_++).first;
        } else {
            Append(out, static_cast<uint16_t>(kArchiveClassTagBit | found->second));
        }
        ++next_;  // the object's own index
        return true;
    }
    QByteArray out;

private:
    std::map<RecordClass, uint32_t> classIndex_;
    uint32_t next_ = 1;
};

class Reader {
public:
    explicit Reader(const QByteArray& data) : data_(data) {}

    template <typename T>
    bool Read(T& value) {
        if (data_.size() - pos_ < static_cast<qsizetype>(sizeof value))
            return Fail(QStringLiteral("the data ends inside a record"));
        std::memcpy(&value, data_.constData() + pos_, sizeof value);
        pos_ += sizeof value;
        return true;
    }
    bool ReadString(QByteArray& text) {
        uint8_t shortLength = 0;
        if (!Read(shortLength))
            return false;
        qint64 length = shortLength;
        if (shortLength == 0xFF) {
            uint16_t mid = 0;
            if (!Read(mid))
                return false;
            length = mid;
            if (mid == 0xFFFE)
                return Fail(QStringLiteral("a wide-character string marker"));
            if (mid == 0xFFFF) {
                uint32_t longLength = 0;
                if (!Read(longLength))
                    return false;
                length = longLength;
            }
        }
        if (length > data_.size() - pos_)
            return Fail(QStringLiteral("a string of %1 bytes runs past the end").arg(length));
        text = data_.mid(pos_, length);
        pos_ += length;
        return true;
    }
    bool ReadCount(uint32_t& count) {
        uint16_t shortCount = 0;
        if (!Read(shortCount))
            return false;
        count = shortCount;
        if (shortCount == 0xFFFF && !Read(count))
            return false;
        // Every element takes at least its two-byte tag.
        if (static_cast<qint64>(count) * 2 > data_.size() - pos_)
            return Fail(QStringLiteral("an array of %1 elements runs past the end").arg(count));
        return true;
    }
    // Reads an element's tag and class part; the element must be a new object of class c.
    bool ReadObjectTag(RecordClass c) {
        const qsizetype start = pos_;
        uint16_t tag = 0;
        if (!Read(tag))
            return false;
        RecordClass found;
        if (tag == kArchiveNewClassTag) {
            uint16_t schema = 0, nameLength = 0;
            if (!Read(schema) || !Read(nameLength))
                return false;
            if (nameLength > kArchiveMaxClassName || nameLength > data_.size() - pos_)
                return Fail(QStringLiteral("a class name of %1 bytes").arg(nameLength));
            const QByteArray name = data_.mid(pos_, nameLength);
            pos_ += nameLength;
            const auto known = ClassByName(name);
            if (!known)
                return Fail(QStringLiteral("unknown class \"%1\"").arg(QString::fromLatin1(name)));
            if (schema != kArchiveSchema)
                return Fail(QStringLiteral("class %1 has schema %2")
                                .arg(QString::fromLatin1(name))
                                .arg(schema));
            for (const auto& [index, cls] : classes_)
                if (cls == *known)
                    return Fail(
                        QStringLiteral("class %1 introduced twice").arg(QString::fromLatin1(name)));
            classes_.emplace(next_++, *known);
            found = *known;
        } else if (tag & kArchiveClassTagBit) {
            const auto known = classes_.find(tag & ~kArchiveClassTagBit);
            if (known == classes_.end()) {
                pos_ = start;
                return Fail(QStringLiteral("tag 0x%1 names no class").arg(tag, 4, 16));
            }
            found = known->second;
        } else if (tag == 0) {
            pos_ = start;
            return Fail(QStringLiteral("a null record"));
        } else {
            pos_ = start;
            return Fail(QStringLiteral("a reference back to object %1").arg(tag));
        }
        if (found != c) {
            pos_ = start;
            return Fail(QStringLiteral("a %1 where a %2 belongs")
                            .arg(QLatin1String(ClassName(found)), QLatin1String(ClassName(c))));
        }
        ++next_;  // the object's own index
        return true;
    }
    bool Fail(const QString& what) {
        if (error.offset < 0) {
            error.offset = pos_;
            error.what = what;
        }
        return false;
    }
    qsizetype pos() const { return pos_; }
    qsizetype size() const { return data_.size(); }
    ArchiveError error;

private:
    const QByteArray& data_;
    qsizetype pos_ = 0;
    std::map<uint32_t, RecordClass> classes_;  // class indices of the stream
    uint32_t next_ = 1;                        // the next class or object index
};

}  // namespace

void WriteArchiveString(QByteArray& out, const QByteArray& text) {
    const auto length = static_cast<uint64_t>(text.size());
    if (length < 0xFF) {
        Append(out, static_cast<uint8_t>(length));
    } else if (length < 0xFFFE) {
        Append(out, uint8_t{0xFF});
        Append(out, static_cast<uint16_t>(length));
    } else {
        Append(out, uint8_t{0xFF});
        Append(out, uint16_t{0xFFFF});
        Append(out, static_cast<uint32_t>(length));
    }
    out.append(text);
}

const CPrompt* CFixitGuideDatabase::FindPrompt(int32_t id) const {
    for (const CPrompt& p : prompts)
        if (p.identifier == id)
            return &p;
    return nullptr;
}

const CFrame* CFixitGuideDatabase::FindFrame(int32_t id) const {
    for (const CFrame& f : frames)
        if (f.identifier == id)
            return &f;
    return nullptr;
}

const CControlConfig* CFixitGuideDatabase::FindControlConfig(int32_t id) const {
    for (const CControlConfig& c : controls)
        if (c.identifier == id)
            return &c;
    return nullptr;
}

std::optional<QByteArray> CFixitGuideDatabase::Serialize() const {
    Writer w;
    if (!w.WriteCount(prompts.size()))
        return std::nullopt;
    for (const CPrompt& p : prompts) {
        if (!w.WriteObjectTag(RecordClass::Prompt))
            return std::nullopt;
        Append(w.out, ArchivePromptHead{p.identifier});
        WriteArchiveString(w.out, p.text);
        WriteArchiveString(w.out, p.question);
    }
    if (!w.WriteCount(frames.size()))
        return std::nullopt;
    for (const CFrame& f : frames) {
        if (!w.WriteObjectTag(RecordClass::Frame))
            return std::nullopt;
        Append(w.out, ArchiveFrameHead{f.titleIndex, f.buttonFlags, f.identifier, f.prompt,
                                       f.controlConfig, f.reserved});
        for (const QByteArray* s : {&f.picture, &f.yesText, &f.noText, &f.yesAction, &f.noAction,
                                    &f.nextText, &f.nextAction})
            WriteArchiveString(w.out, *s);
    }
    if (!w.WriteCount(controls.size()))
        return std::nullopt;
    for (const CControlConfig& c : controls) {
        if (!w.WriteObjectTag(RecordClass::Control))
            return std::nullopt;
        Append(w.out, ArchiveControlHead{c.showFlags, c.enableFlags, c.identifier, c.device});
        for (const QByteArray* s : {&c.label, &c.playAction, &c.recordAction})
            WriteArchiveString(w.out, *s);
    }
    return w.out;
}

ArchiveError CFixitGuideDatabase::Deserialize(const QByteArray& image) {
    Reader r(image);
    uint32_t count = 0;
    if (!r.ReadCount(count))
        return r.error;
    for (uint32_t i = 0; i < count; ++i) {
        CPrompt p;
        ArchivePromptHead head{};
        if (!r.ReadObjectTag(RecordClass::Prompt) || !r.Read(head) || !r.ReadString(p.text) ||
            !r.ReadString(p.question))
            return r.error;
        p.identifier = head.identifier;
        prompts.push_back(std::move(p));
    }
    if (!r.ReadCount(count))
        return r.error;
    for (uint32_t i = 0; i < count; ++i) {
        CFrame f;
        ArchiveFrameHead head{};
        if (!r.ReadObjectTag(RecordClass::Frame) || !r.Read(head))
            return r.error;
        for (QByteArray* s : {&f.picture, &f.yesText, &f.noText, &f.yesAction, &f.noAction,
                              &f.nextText, &f.nextAction})
            if (!r.ReadString(*s))
                return r.error;
        f.titleIndex = head.titleIndex;
        f.buttonFlags = head.buttonFlags;
        f.identifier = head.identifier;
        f.prompt = head.prompt;
        f.controlConfig = head.controlConfig;
        f.reserved = head.reserved;
        frames.push_back(std::move(f));
    }
    if (!r.ReadCount(count))
        return r.error;
    for (uint32_t i = 0; i < count; ++i) {
        CControlConfig c;
        ArchiveControlHead head{};
        if (!r.ReadObjectTag(RecordClass::Control) || !r.Read(head))
            return r.error;
        for (QByteArray* s : {&c.label, &c.playAction, &c.recordAction})
            if (!r.ReadString(*s))
                return r.error;
        c.showFlags = head.showFlags;
        c.enableFlags = head.enableFlags;
        c.identifier = head.identifier;
        c.device = head.device;
        controls.push_back(std::move(c));
    }
    if (r.pos() != r.size())
        r.Fail(QStringLiteral("%1 bytes after the last array").arg(r.size() - r.pos()));
    return r.error;
}
