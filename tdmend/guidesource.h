// The guide's text sources, the form the guide is written and edited in. Three files in
// one folder, read in this order, each adding records to its array:
//
//   DWControl  per line: identifier, show flags, enable flags, device (decimal numbers
//              separated by spaces), one separator character, the play action, a tab, the
//              record action, a tab, and the caption code of the volume group's label.
//   DWFrames   per line: frame identifier, control configuration, prompt, reserved, title
//              index, button flags; one separator character; then, each ended by a tab:
//              picture, Yes action, Yes caption code, No action, No caption code, Next
//              action; the rest of the line (tabs dropped) is the Next caption code.
//   DWPrompts  per line: identifier, one separator character, the body text up to a tab,
//              then the question, which is the rest of the line and its newline. In the
//              body, \n and \t stand for a newline and a tab.
//
// Blank lines and lines starting with '#' are skipped. Lines may end in CRLF. Captions are
// written as codes ("1." Next ->, "3." Yes ...; see CaptionFromCode); a caption without a
// code is empty. A line that cannot be read, or a text longer than 1024 characters, is a
// problem reported with its file and line; the line adds nothing.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "tdmend/guidedata.h"

inline constexpr char kGuideControlSource[] = "DWControl";
inline constexpr char kGuideFrameSource[] = "DWFrames";
inline constexpr char kGuidePromptSource[] = "DWPrompts";
inline constexpr qsizetype kGuideMaxText = 1024;

// The caption a code stands for: the codes "1." to "9.", "10.", "a.", "b.", "c." are
// searched for in that order and the first found wins; empty when none is there.
QByteArray CaptionFromCode(const QByteArray& code);

// Each source's lines, added to db. Returns the problems found, each as
// "FILE:LINE: what"; a source that cannot be opened is a problem and adds nothing.
QStringList LoadGuideSources(const QString& dir, CFixitGuideDatabase& db);

// One source's text, for callers that hold it already (file names as above).
QStringList ParseGuideSource(const QString& name, const QByteArray& text, CFixitGuideDatabase& db);
