#include "servicechecks.h"

#include "export/pngencoder.h"
#include "history/screenshothistory.h"
#include "ocr/textrecognition.h"
#include "platform/keymap.h"
#include "release/apprelease.h"
#include "shortcut/captureshortcut.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>

namespace korvel::selfcheck {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray feedBody(const QString& version, const QUrl& download, const QString& architecture) {
    const QJsonObject feed{
        {QStringLiteral("version"), version},
        {QStringLiteral("downloadURL"), download.toString()},
        {QStringLiteral("notes"), QStringLiteral("修复了若干问题。")},
        {QStringLiteral("minimumSystemVersion"), QStringLiteral("5.10.0")},
        {QStringLiteral("architecture"), architecture},
    };
    return QJsonDocument(feed).toJson(QJsonDocument::Compact);
}

// Whether the body passes decoding and every rule.
bool accepted(const QByteArray& body, const ReleaseRules& rules) {
    try {
        AppRelease::decode(body).validate(rules);
        return true;
    } catch (const Error&) {
        return false;
    }
}

QString compact(QString text) {
    text.remove(QLatin1Char(' '));
    return text;
}

} // namespace

Failure checkHistory() {
    QTemporaryDir folder;
    if (!folder.isValid())
        return QStringLiteral("no temporary folder: %1").arg(folder.errorString());
    const QString settingsPath = folder.filePath(QStringLiteral("settings.ini"));
    {
        QSettings settings(settingsPath, QSettings::IniFormat);
        settings.setValue(QStringLiteral("historyEnabled"), true);
        settings.setValue(QStringLiteral("historyLimit"), 10);
    }
    ScreenshotHistory history(folder.filePath(QStringLiteral("History")), [settingsPath] {
        return std::make_unique<QSettings>(settingsPath, QSettings::IniFormat);
    });

    std::vector<QByteArray> pngs;
    for (int i = 0; i < 3; ++i) {
        QImage image(64 + 16 * i, 48, QImage::Format_RGB32);
        image.fill(QColor(40 * i, 90, 200 - 30 * i));
        std::optional<QByteArray> png = encodePng(image);
        if (!png)
            return QStringLiteral("the PNG encoder failed");
        pngs.push_back(*png);
    }
    if (broken("history"))
        pngs[1].truncate(pngs[1].size() / 2);
    const qint64 start = 1'733'000'000'000'000;
    for (size_t i = 0; i < pngs.size(); ++i)
        history.recordNow(pngs[i], start + qint64(i) * 1000);
    // A PNG cut short is never recorded.
    history.recordNow(pngs[0].left(pngs[0].size() / 2), start + 5000);
    if (const auto error = history.lastError())
        return *error;

    const QStringList entries = history.entries();
    if (entries.size() != int(pngs.size()))
        return QStringLiteral("%1 entries instead of %2").arg(entries.size()).arg(pngs.size());
    for (int i = 0; i < entries.size(); ++i) {
        // Newest first.
        const size_t n = pngs.size() - 1 - size_t(i);
        const QString expected = ScreenshotHistory::fileName(start + qint64(n) * 1000, pngs[n]);
        if (QFileInfo(entries[i]).fileName() != expected)
            return QStringLiteral("entry %1 is named %2").arg(i).arg(entries[i]);
        if (readAll(entries[i]) != pngs[n])
            return QStringLiteral("entry %1 does not read back as recorded").arg(i);
        const QImage thumbnail = ScreenshotHistory::thumbnail(entries[i], 32);
        if (thumbnail.isNull() || thumbnail.width() != 32)
            return QStringLiteral("entry %1 gives no 32-pixel thumbnail").arg(i);
    }
    if (const auto error = history.clear())
        return *error;
    if (!history.entries().isEmpty())
        return QStringLiteral("entries remain after clearing");
    return std::nullopt;
}

Failure checkUpdateFeed() {
    const std::optional<UpdateServer> server =
        UpdateServer::fromOrigin(QStringLiteral("https://update.example.com"));
    if (!server)
        return QStringLiteral("the example origin is refused");
    const ReleaseRules rules{*server, packageTarget(PackagePlatform::linuxX86_64)};
    const QString version = QStringLiteral("0.7.2");
    QUrl package = server->packageAddress(version, rules.package);
    if (broken("update-feed"))
        package.setHost(QStringLiteral("downloads.example.net"));
    const QByteArray valid = feedBody(version, package, rules.package.architecture);
    if (!accepted(valid, rules))
        return QStringLiteral("a valid release is refused");
    const Availability availability = AppRelease::decode(valid).availability(
        QStringLiteral("0.7.1"), QStringLiteral("6.1.0"), rules);
    if (availability != Availability::available)
        return QStringLiteral("a newer release is \"%1\"").arg(availabilityName(availability));

    QUrl elsewhere = package;
    elsewhere.setHost(QStringLiteral("update.example.com.evil.test"));
    if (accepted(feedBody(version, elsewhere, rules.package.architecture), rules))
        return QStringLiteral("a package on another host is accepted");
    if (accepted(feedBody(version, package, QStringLiteral("arm64")), rules))
        return QStringLiteral("a package for another architecture is accepted");
    if (accepted(valid.left(valid.size() - 1), rules))
        return QStringLiteral("a cut-off feed is accepted");
    return std::nullopt;
}

Failure checkTextRecognition() {
    const QStringList lines = {QStringLiteral("Korvel reads text 2048"),
                               QStringLiteral("截图已复制到剪贴板")};
    // Without a Chinese font the line would be drawn as boxes.
    const QStringList chineseFonts = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    if (chineseFonts.isEmpty())
        return QStringLiteral("no font for Chinese text is installed");
    QImage image(640, 150, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (!broken("ocr")) {
        QPainter painter(&image);
        QFont font(chineseFonts.contains(QStringLiteral("Noto Sans CJK SC"))
                       ? QStringLiteral("Noto Sans CJK SC")
                       : chineseFonts.front());
        font.setPixelSize(30);
        painter.setFont(font);
        painter.setPen(QColor(20, 20, 20));
        for (int i = 0; i < lines.size(); ++i)
            painter.drawText(QPoint(24, 50 + 60 * i), lines[i]);
    }
    TextRecognition recognition(createTextRecognizer());
    const QString text = recognition.recognize(image);
    const QStringList read = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    bool same = read.size() == lines.size();
    for (qsizetype i = 0; same && i < lines.size(); ++i)
        same = compact(read[i]) == compact(lines[i]);
    if (!same)
        return QStringLiteral("read \"%1\"").arg(read.join(QStringLiteral(" / ")));
    return std::nullopt;
}

Failure checkShortcut() {
    struct Case {
        quint32 keyCode;
        Qt::KeyboardModifiers modifiers;
        QString label;
    };
    std::vector<Case> cases = {
        {18, Qt::ControlModifier, QStringLiteral("Ctrl+1")},
        {0, Qt::ControlModifier | Qt::ShiftModifier, QStringLiteral("Ctrl+Shift+A")},
        {49, Qt::AltModifier, QStringLiteral("Alt+Space")},
        {122, Qt::MetaModifier | Qt::ControlModifier, QStringLiteral("Ctrl+Super+F1")},
        {126, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier,
         QStringLiteral("Ctrl+Alt+Shift+Up")},
    };
    if (broken("shortcut"))
        cases.front().keyCode = 19;

    QTemporaryDir folder;
    if (!folder.isValid())
        return QStringLiteral("no temporary folder: %1").arg(folder.errorString());
    QSettings settings(folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    for (const Case& c : cases) {
        const std::optional<CaptureShortcut> shortcut =
            CaptureShortcut::from(c.keyCode, c.modifiers);
        if (!shortcut || shortcut->label != c.label)
            return QStringLiteral("key %1 is labelled \"%2\" instead of \"%3\"")
                .arg(c.keyCode)
                .arg(shortcut ? shortcut->label : QString())
                .arg(c.label);
        if (modifiersForXMask(xModifierMask(shortcut->modifiers)) != shortcut->modifiers)
            return QStringLiteral("the modifiers of %1 do not map back").arg(c.label);
        shortcut->store(settings);
        if (CaptureShortcut::load(settings) != *shortcut)
            return QStringLiteral("%1 does not load back as stored").arg(c.label);
    }
    if (CaptureShortcut::from(18, Qt::ShiftModifier))
        return QStringLiteral("Shift alone makes a shortcut");
    // Every key with a name maps to its X keysym and back.
    for (quint32 code = 0; code < 0x200; ++code) {
        const std::optional<quint32> keysym = keysymForKeyCode(code);
        if (keysym && keyCodeForKeysym(*keysym) != code)
            return QStringLiteral("key code %1 does not map back").arg(code);
        if (keysym && usKeyName(code).isEmpty())
            return QStringLiteral("key code %1 has no name").arg(code);
    }
    return std::nullopt;
}

} // namespace korvel::selfcheck
