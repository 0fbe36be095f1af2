// Custom control classes: the drawers' layouts name a control by its class name, and the
// program registers each class once at start-up. A registered class makes its widget
// from the caller's parent, window text and style bits.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

#include "platform/message.h"
#include "platform/types.h"

class QWidget;

using ATOM = uint16_t;

// Notices the controls send their owners.
inline constexpr UINT WM_TOGGLE_MINUS = WM_USER + 1000;        // wParam control id, lParam position
inline constexpr UINT WM_TOGGLE_PLUS = WM_USER + 1005;         // wParam control id, lParam position
inline constexpr UINT WM_VUMETER_CLICKED = WM_BAR_TOGGLEMUTE;  // wParam 0, lParam 0
inline constexpr UINT WM_WAVEFORM_CLICKED = WM_USER + 1050;    // wParam sample position

using ControlFactory = std::function<QWidget*(QWidget* parent, const QString& text, DWORD style)>;

// Registers (or replaces) a class; returns its atom, never 0 for a valid name.
ATOM RegisterControlClass(const QString& className, ControlFactory factory);
bool IsControlClassRegistered(const QString& className);
// Makes a control of a registered class with the given control id; null for a class that
// was never registered.
QWidget* CreateCustomControl(const QString& className, QWidget* parent, const QString& text = {},
                             DWORD style = 0, int controlId = 0);

// The control id that a control reports in its notices.
void SetControlId(QWidget* control, int id);
int GetControlId(const QWidget* control);
