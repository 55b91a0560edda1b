#pragma once

#include <QStringList>

namespace korvel {

enum class Mode {
    longLiveCheck,
    regionCheck,
    accessibilityStatus,
    mosaicBrushCheck,
    checkUpdateFeed,
    selfTest,
    help,
    version,
    recognize,
    capture, // asks the running instance to capture, or starts one that does
    pin,     // pins an image file in the running instance, or starts one
    edit,    // opens an image file for annotation there
    normal,
};

struct Dispatch {
    Mode mode = Mode::normal;
    QStringList arguments; // the four that follow "--long-live-check"
    qint32 pid = 0;        // "--region-check"
    double x = 0;
    double y = 0;
    QString file;      // "--pin" and "--edit"; empty when nothing follows
    QStringList files; // "--recognize": the arguments after it that are not options
};

// "--help": one line per option, in Chinese.
QString usage();

// Options match whole arguments anywhere in the list; the first mode in the
// order of Mode whose option is present (with its arguments) wins.
Dispatch dispatch(const QStringList& arguments);

} // namespace korvel
