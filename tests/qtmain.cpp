#include <gtest/gtest.h>
#include <QApplication>
#include <QTemporaryDir>

// Widget tests need one QApplication for the whole binary.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings, history and caches of a folder that lives as long as this
    // process: cases run side by side in processes of their own, and none
    // of them sees another's state or the user's.
    const QTemporaryDir home;
    if (!home.isValid())
        return 2;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, (home.path() + QLatin1Char('/') + QLatin1String(name)).toUtf8());
    // A check that slips through lands on a closed loopback port.
    if (qEnvironmentVariableIsEmpty("KORVEL_UPDATE_ORIGIN"))
        qputenv("KORVEL_UPDATE_ORIGIN", "https://127.0.0.1:9");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("KorvelTest"));
    QCoreApplication::setApplicationName(QStringLiteral("KorvelTest"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
