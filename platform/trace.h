// Diagnostic trace lines, such as "ABN_STATECHANGE\n": the debugger output of the
// system. Nothing is written unless TONEDECK_TRACE is set: to "1" for standard error, or
// to the path of a file the lines are appended to ("" and "0" mean off). Lines are
// written as given, without levels or decoration.
#pragma once

#include <QString>

#include <functional>

void Trace(const char* line);
void Trace(const QString& line);

// Tests watch the trace through a hook that sees every line, whether or not
// TONEDECK_TRACE is set. An empty hook removes it. Returns the previous hook.
using TraceHook = std::function<void(const QString& line)>;
TraceHook SetTraceHook(TraceHook hook);
