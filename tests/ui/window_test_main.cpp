#include <QApplication>
#include <QByteArray>

#include <gtest/gtest.h>

#include "ui/common/cjk_font.h"

int main(int argc, char** argv) {
    // Test discovery runs the binary outside ctest's environment; draw off screen there too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    sphyra::CjkFont::ApplyToApplication();
    return RUN_ALL_TESTS();
}
