// Splits the guide's action strings into what they ask for.
#include "tdmend/guideaction.h"

#include <cstdlib>

namespace {

// The decimal number at the start of text, as atoi reads it (0 when there is none).
int32_t LeadingNumber(const QByteArray& text) {
    qsizetype p = 0;
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t'))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '-' || text[p] == '+'))
        negative = text[p++] == '-';
    int64_t value = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9') {
        value = value * 10 + (text[p++] - '0');
        if (value > INT32_MAX)
            return 0;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

QByteArray After(const QByteArray& action, const char* keyword) {
    return action.mid(action.indexOf(keyword) + qstrlen(keyword));
}

}  // namespace

GuideAction ParseGuideAction(const QByteArray& action) {
    GuideAction a;
    if (action.contains("%multi ")) {
        a.kind = GuideAction::Kind::Multi;
        const QByteArray rest = After(action, "%multi ");
        const qsizetype split = rest.indexOf('%', 1);
        a.first = split < 0 ? rest : rest.left(split);
        a.second = split < 0 ? QByteArray() : rest.mid(split);
    } else if (action.contains("%frame ")) {
        a.kind = GuideAction::Kind::Frame;
        a.frame = LeadingNumber(After(action, "%frame "));
    } else if (action.contains("%play ")) {
        a.kind = GuideAction::Kind::Play;
        if (action.contains("wav"))
            a.sound = GuideAction::Sound::Wave;
        else if (action.contains("mem"))
            a.sound = GuideAction::Sound::Memory;
        else if (action.contains("midi"))
            a.sound = GuideAction::Sound::Midi;
        else if (action.contains("cd"))
            a.sound = GuideAction::Sound::Cd;
    } else if (action.contains("%rec")) {
        a.kind = GuideAction::Kind::Record;
    } else if (action.contains("%help ")) {
        a.kind = GuideAction::Kind::Help;
        a.argument = After(action, "%help ");
    } else if (action.contains("%exec ")) {
        a.kind = GuideAction::Kind::Exec;
        a.argument = After(action, "%exec ");
    } else if (action.contains("%quit")) {
        a.kind = GuideAction::Kind::Quit;
    }
    return a;
}

std::vector<int32_t> GuideActionFrames(const QByteArray& action, int depth) {
    const GuideAction a = ParseGuideAction(action);
    if (a.kind == GuideAction::Kind::Frame)
        return {a.frame};
    if (a.kind != GuideAction::Kind::Multi || depth >= kGuideMaxActionDepth)
        return {};
    std::vector<int32_t> frames = GuideActionFrames(a.first, depth + 1);
    for (int32_t f : GuideActionFrames(a.second, depth + 1))
        frames.push_back(f);
    return frames;
}
