#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <optional>

namespace korvel::selfcheck {

// Why a check failed; empty when it passed.
using Failure = std::optional<QString>;

// Test hook: the environment variable KORVEL_SELFCHECK_BREAK names checks
// (as they print, separated by commas) whose input is corrupted before they
// run, so that a test can prove each check fails when its subsystem
// misbehaves.
bool broken(const char* check);

// Runs the check and prints "PASS: <check>" or "FAIL: <check>: <reason>";
// an exception thrown by the check is its failure. Returns whether it passed.
bool runCheck(const char* check, const std::function<Failure()>& body);

// Prints a line of its own to standard output at once.
void printLine(const QString& line);

// Pixels compared in premultiplied ARGB: a size mismatch or the first
// differing pixel.
Failure comparePixels(const QImage& actual, const QImage& expected);

// One-pixel black and white squares: any filter changes every pixel it
// touches, and a block of even size averages to exactly grey 128.
QImage checkerboard(QSize size);

} // namespace korvel::selfcheck
