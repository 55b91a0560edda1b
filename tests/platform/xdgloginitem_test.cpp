#include "platform/error.h"
#include "platform/xdgloginitem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace korvel;
using Status = LoginItem::Status;

namespace {

struct XdgLogin : ::testing::Test {
    QTemporaryDir home;
    QString path = home.filePath(QStringLiteral("autostart/korvel.desktop"));
    XdgLoginItem item{path, QStringLiteral("/opt/Korvel/bin/korvel")};

    void write(const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
};

} // namespace

TEST_F(XdgLogin, RegisteringWritesTheEntryAndUnregisteringRemovesIt) {
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.location(), path);
    item.registerItem();
    EXPECT_EQ(item.status(), Status::enabled);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\nType=Application\nName=Korvel\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/opt/Korvel/bin/korvel\"\n"));
    EXPECT_TRUE(text.contains("\nX-GNOME-Autostart-enabled=true\n"));
    EXPECT_EQ(QFileInfo(path).permissions() & 0x0777, 0x0644); // rw-r--r--
    // Nothing but the entry is left in the folder (no temporary files).
    EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    item.unregisterItem();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(item.status(), Status::notRegistered);
    item.unregisterItem(); // already gone: nothing to do
}

// Hidden=true, and the rewrite on registering: the delegate's login item test.
TEST_F(XdgLogin, EntriesSwitchedOffByTheDesktopCountAsOff) {
    write("[Desktop Entry]\nExec=korvel\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_EQ(item.status(), Status::notRegistered);
    // Only the entry's own group counts.
    write("[Desktop Entry]\nExec=korvel\n[Desktop Action x]\nHidden=true\n");
    EXPECT_EQ(item.status(), Status::enabled);
}

TEST_F(XdgLogin, ExecQuotesEveryReservedCharacter) {
    const QByteArray entry =
        XdgLoginItem::entry(QStringLiteral(R"(/home/a b/"q"/$HOME/`x`/back\slash/100%/截图)"));
    // Inside quotes " ` $ \ are escaped, % is doubled, and the value's own
    // escaping doubles every backslash once more.
    EXPECT_TRUE(entry.contains("\nExec="
                               R"("/home/a b/\\"q\\"/\\$HOME/\\`x\\`/back\\\\slash/100%%/截图")"
                               "\n"))
        << entry.toStdString();
    XdgLoginItem newline(path, QStringLiteral("/tmp/a\nb"));
    EXPECT_THROW(newline.registerItem(), Error);
    EXPECT_FALSE(QFile::exists(path));
}

// A file where the autostart folder belongs: Delegate.LoginItemMirrorsTheAutostartEntry.
TEST_F(XdgLogin, AFolderInTheEntrysPlaceIsNeitherReplacedNorRemoved) {
    ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/inside")));
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_THAT([&] { item.registerItem(); },
                testing::ThrowsMessage<Error>(testing::HasSubstr(path.toStdString())));
    EXPECT_TRUE(QFileInfo(path).isDir());
}
