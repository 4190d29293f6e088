#pragma once

#include <cstdio>
#include <string>

class CPdfException;

// The lines korvel writes on standard error, for a person: one per failure,
// and one per warning about an input that was read anyway. Every line has
// the form "korvel: <file>: <text>" (or "korvel: <text>" when no file is
// concerned), the way peers on the same system write theirs.
namespace diagnostics {

// The line with its line feed. Control bytes become '?', so that a strange
// file name can never break the line in two.
std::string FormatLine(const std::string& file, const std::string& text);

// The line of a failure: its file and reason, or its fixed message when no
// reason was given.
std::string FailureLine(const CPdfException& failure);

// Writes a warning line on standard error; the run goes on.
void Warn(const std::string& file, const std::string& text);

}  // namespace diagnostics
