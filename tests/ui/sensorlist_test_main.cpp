#include <QApplication>
#include <QByteArray>
#include <QFont>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Test discovery runs the binary outside ctest's environment; draw off screen there too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The labels are Chinese; measure and draw them with the font the program uses.
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    return RUN_ALL_TESTS();
}
