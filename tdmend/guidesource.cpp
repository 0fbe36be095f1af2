// Reads the guide's three text sources into the database.
#include "tdmend/guidesource.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <optional>
#include <utility>

namespace {

struct CaptionCode {
    const char* code;
    const char* caption;
};

// Tested in this order; "10." comes after "1." but cannot contain it.
constexpr CaptionCode kCaptionCodes[] = {
    {"1.", "Next ->"},         {"2.", "Skip ->>"},     {"3.", "Yes"},         {"4.", "No"},
    {"5.", "I don't know"},    {"6.", "Solutions"},    {"7.", "Words"},       {"8.", "Hiss"},
    {"9.", "Volume"},          {"10.", "Wave Volume"}, {"a.", "MIDI Volume"}, {"b.", "CD Volume"},
    {"c.", "Mic Sensitivity"},
};

// A cursor over one line.
class Line {
public:
    explicit Line(const QByteArray& text) : text_(text) {}

    // A decimal number after optional blanks, as scanf's %d reads it.
    std::optional<int64_t> Number() {
        qsizetype p = pos_;
        while (p < text_.size() && (text_[p] == ' ' || text_[p] == '\t'))
            ++p;
        bool negative = false;
        if (p < text_.size() && (text_[p] == '-' || text_[p] == '+'))
            negative = text_[p++] == '-';
        const qsizetype digits = p;
        int64_t value = 0;
        while (p < text_.size() && text_[p] >= '0' && text_[p] <= '9') {
            value = value * 10 + (text_[p++] - '0');
            if (value > 0xFFFFFFFFLL)
                return std::nullopt;
        }
        if (p == digits)
            return std::nullopt;
        pos_ = p;
        return negative ? -value : value;
    }
    // Skips the one separator character after the numbers.
    bool Separator() {
        if (pos_ >= text_.size())
            return false;
        ++pos_;
        return true;
    }
    // The text up to the next tab (the tab is consumed); nullopt when there is none.
    std::optional<QByteArray> UpToTab() {
        const qsizetype tab = text_.indexOf('\t', pos_);
        if (tab < 0)
            return std::nullopt;
        QByteArray field = text_.mid(pos_, tab - pos_);
        pos_ = tab + 1;
        return field;
    }
    QByteArray Rest() {
        QByteArray rest = text_.mid(pos_);
        pos_ = text_.size();
        return rest;
    }

private:
    const QByteArray& text_;
    qsizetype pos_ = 0;
};

std::optional<int32_t> Signed(std::optional<int64_t> v) {
    if (!v || *v < INT32_MIN || *v > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(*v);
}

std::optional<uint32_t> Unsigned(std::optional<int64_t> v) {
    // %u takes what %d takes, negative values wrapping round.
    if (!v || *v < INT32_MIN || *v > UINT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(*v);
}

QByteArray Unescape(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            if (text[i + 1] == 'n') {
                out += '\n';
                ++i;
                continue;
            }
            if (text[i + 1] == 't') {
                out += '\t';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool TooLong(const QByteArray& text) {
    return text.size() > kGuideMaxText;
}

// Splits the source into lines without their LF or CRLF ends; skipped lines stay empty.
QList<QByteArray> Lines(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith('#'))
            line.clear();
    }
    return lines;
}

std::optional<QString> ParseControl(const QByteArray& text, CFixitGuideDatabase& db) {
    Line line(text);
    const auto id = Signed(line.Number());
    const auto show = Unsigned(line.Number());
    const auto enable = Unsigned(line.Number());
    const auto device = Signed(line.Number());
    if (!id || !show || !enable || !device || !line.Separator())
        return QStringLiteral("expected identifier, show flags, enable flags and device");
    CControlConfig c;
    c.identifier = *id;
    c.showFlags = *show;
    c.enableFlags = *enable;
    c.device = *device;
    const auto play = line.UpToTab();
    const auto record = play ? line.UpToTab() : std::nullopt;
    if (!record)
        return QStringLiteral("expected play action, tab, record action, tab, label");
    c.playAction = *play;
    c.recordAction = *record;
    c.label = CaptionFromCode(line.Rest());
    if (TooLong(c.playAction) || TooLong(c.recordAction))
        return QStringLiteral("an action longer than %1 characters").arg(kGuideMaxText);
    db.controls.push_back(std::move(c));
    return std::nullopt;
}

std::optional<QString> ParseFrame(const QByteArray& text, CFixitGuideDatabase& db) {
    Line line(text);
    const auto id = Signed(line.Number());
    const auto config = Signed(line.Number());
    const auto prompt = Signed(line.Number());
    const auto reserved = Signed(line.Number());
    const auto title = Unsigned(line.Number());
    const auto flags = Unsigned(line.Number());
    if (!id || !config || !prompt || !reserved || !title || !flags || !line.Separator())
        return QStringLiteral(
            "expected identifier, configuration, prompt, reserved, title and button flags");
    CFrame f;
    f.identifier = *id;
    f.controlConfig = *config;
    f.prompt = *prompt;
    f.reserved = *reserved;
    f.titleIndex = static_cast<int32_t>(*title);
    f.buttonFlags = static_cast<int32_t>(*flags);
    QByteArray* fields[] = {&f.picture,  &f.yesAction, &f.yesText,
                            &f.noAction, &f.noText,    &f.nextAction};
    for (QByteArray* field : fields) {
        const auto value = line.UpToTab();
        if (!value)
            return QStringLiteral(
                "expected seven tab-separated fields: picture, Yes action and caption, "
                "No action and caption, Next action and caption");
        if (TooLong(*value))
            return QStringLiteral("a field longer than %1 characters").arg(kGuideMaxText);
        *field = *value;
    }
    f.yesText = CaptionFromCode(f.yesText);
    f.noText = CaptionFromCode(f.noText);
    f.nextText = CaptionFromCode(line.Rest().replace('\t', QByteArray()));
    db.frames.push_back(std::move(f));
    return std::nullopt;
}

std::optional<QString> ParsePrompt(const QByteArray& text, CFixitGuideDatabase& db) {
    Line line(text);
    const auto id = Signed(line.Number());
    if (!id || !line.Separator())
        return QStringLiteral("expected an identifier");
    const auto body = line.UpToTab();
    if (!body)
        return QStringLiteral("expected the body text, a tab and the question");
    CPrompt p;
    p.identifier = *id;
    p.text = Unescape(*body);
    p.question = line.Rest() + '\n';
    if (TooLong(p.text) || TooLong(p.question))
        return QStringLiteral("a text longer than %1 characters").arg(kGuideMaxText);
    db.prompts.push_back(std::move(p));
    return std::nullopt;
}

}  // namespace

QByteArray CaptionFromCode(const QByteArray& code) {
    for (const CaptionCode& c : kCaptionCodes)
        if (code.contains(c.code))
            return QByteArray(c.caption);
    return {};
}

QStringList ParseGuideSource(const QString& name, const QByteArray& text, CFixitGuideDatabase& db) {
    using Parser = std::optional<QString> (*)(const QByteArray&, CFixitGuideDatabase&);
    Parser parse = nullptr;
    if (name == QLatin1String(kGuideControlSource))
        parse = ParseControl;
    else if (name == QLatin1String(kGuideFrameSource))
        parse = ParseFrame;
    else if (name == QLatin1String(kGuidePromptSource))
        parse = ParsePrompt;
    if (!parse)
        return {QStringLiteral("%1: not a guide source").arg(name)};
    QStringList problems;
    const QList<QByteArray> lines = Lines(text);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty())
            continue;
        if (const auto problem = parse(lines[i], db))
            problems << QStringLiteral("%1:%2: %3").arg(name).arg(i + 1).arg(*problem);
    }
    return problems;
}

QStringList LoadGuideSources(const QString& dir, CFixitGuideDatabase& db) {
    QStringList problems;
    for (const char* name : {kGuideControlSource, kGuideFrameSource, kGuidePromptSource}) {
        QFile file(QDir(dir).filePath(QLatin1String(name)));
        if (!file.open(QIODevice::ReadOnly)) {
            problems << QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
            continue;
        }
        problems += ParseGuideSource(QLatin1String(name), file.readAll(), db);
    }
    return problems;
}
