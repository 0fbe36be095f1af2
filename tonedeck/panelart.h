// The pictures of the bar panel, drawn with QPainter into the rectangle given: task
// buttons and their indicators, the audio-control faces and the end picture. Raised and
// sunken faces take the painter's background colour (set it to PanelFaceColour).
#pragma once

#include <QColor>
#include <QRect>
#include <QSize>

class QPainter;

// The bar's background colour: the system button face or light grey.
QColor PanelFaceColour(bool systemFace);

enum class ButtonFace { Up, Pressed, Down };

// A 37 × 37 task button in one of its three states, with the pictogram of its command
// (its indicator pictogram when indicator is set: a latched button whose state is held).
void DrawTaskButton(QPainter& p, const QRect& r, int command, ButtonFace face,
                    bool indicator = false);
// The indicator picture of a button: new voicegrams (Voicegram Box), scheduled playback
// held (EchoMemos Manager), search running (Sonoscout). Other commands draw the up face.
void DrawTaskIndicator(QPainter& p, const QRect& r, int command);

// Output meter, one channel: images 0 to 9 are levels, 11 to 13 the mute animation and 14
// muted. The right meter carries the other half of the mute sign.
void DrawMeter(QPainter& p, const QRect& r, bool right, int image);
void DrawBalanceStrip(QPainter& p, const QRect& r);
// Volume display: level 0 to 10; arrow 0 none pressed, 1 left, 2 right.
void DrawVolumeDisplay(QPainter& p, const QRect& r, int level, int arrow);
void DrawVolumeButton(QPainter& p, const QRect& r, bool up, bool pressed);
// Treble or bass: state 0 normal, 1 lower half pressed, 2 upper half pressed.
void DrawToneControl(QPainter& p, const QRect& r, bool bass, int state);

void DrawSrsCentreButton(QPainter& p, const QRect& r, bool raise, bool pressed);
void DrawSrsSpaceButton(QPainter& p, const QRect& r, bool increase, bool pressed);
// Centre level: image 0 to 10.
void DrawSrsCentreLevel(QPainter& p, const QRect& r, int image);
// Space level: image 2k for the left half, 2k + 1 for the right half, k 0 to 10.
void DrawSrsSpaceLevel(QPainter& p, const QRect& r, int image);
// Mode switch: mode 0, 1 or 2.
void DrawSrsMode(QPainter& p, const QRect& r, int mode);

QSize EndPictureSize(bool vertical);
void DrawEndPicture(QPainter& p, const QRect& r, bool vertical);
