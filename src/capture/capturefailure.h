#pragma once

#include <memory>
#include <QMessageBox>

namespace korvel {

class Error;

namespace ScreenCaptureFailure {

// The alert for a failed capture, not yet shown. With permissionMissing the
// first button ("打开系统设置") leads to where access is granted; X11 always
// grants access, so that variant only appears on backends that can refuse.
// `setting` names the desktop's setting that grants it.
std::unique_ptr<QMessageBox> alert(const Error& error, bool permissionMissing,
                                   const QString& setting = {});

} // namespace ScreenCaptureFailure
} // namespace korvel
