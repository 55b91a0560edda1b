#include <gtest/gtest.h>
#include <QApplication>

// Widget tests need one QApplication for the whole binary.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("KorvelTest"));
    QCoreApplication::setApplicationName(QStringLiteral("KorvelTest"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
