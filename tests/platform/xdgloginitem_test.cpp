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

// Entries the desktop switched off count as off, and registering rewrites them. The
// menu following the file, Hidden=true among them: Delegate.LoginItemMirrorsTheAutostartEntry.
TEST_F(XdgLogin, SwitchedOffEntriesCountAsOffAndRegisteringRewritesThem) {
    write("[Desktop Entry]\nExec=korvel\n[Desktop Action x]\nHidden=true\n");
    EXPECT_EQ(item.status(), Status::enabled); // only the entry's own group counts
    write("[Desktop Entry]\nExec=korvel\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_EQ(item.status(), Status::notRegistered);
    item.registerItem();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), XdgLoginItem::entry(QStringLiteral("/opt/Korvel/bin/korvel")));
    item.unregisterItem();
    EXPECT_FALSE(QFile::exists(path));
    item.unregisterItem(); // already gone: nothing to do
}

TEST_F(XdgLogin, ExecQuotesEveryReservedCharacter) {
    const QByteArray entry =
        XdgLoginItem::entry(QStringLiteral(R"(/home/a b/"q"/$HOME/`x`/back\slash/100%/截图)"));
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\nType=Application\nName=Korvel\n"));
    EXPECT_TRUE(entry.contains("\nX-GNOME-Autostart-enabled=true\n"));
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
