// The guide's action strings. An action is decided by the first of these keywords found
// anywhere in it: "%multi " (two actions, the first up to the next '%', then the rest),
// "%frame N", "%play wav|mem|midi|cd", "%rec", "%help TARGET", "%exec TARGET", "%quit".
// Anything else ("nnnn", "none", "") does nothing.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

struct GuideAction {
    enum class Kind { None, Multi, Frame, Play, Record, Help, Exec, Quit };
    enum class Sound { None, Wave, Memory, Midi, Cd };
    Kind kind = Kind::None;
    int32_t frame = 0;          // Frame
    Sound sound = Sound::None;  // Play
    QByteArray argument;        // Help and Exec: the text after the keyword
    QByteArray first, second;   // Multi
};

GuideAction ParseGuideAction(const QByteArray& action);

// Nesting of "%multi" that an action may use; deeper actions are not run.
inline constexpr int kGuideMaxActionDepth = 8;

// Every "%frame" target of an action, "%multi" parts included.
std::vector<int32_t> GuideActionFrames(const QByteArray& action, int depth = 0);
