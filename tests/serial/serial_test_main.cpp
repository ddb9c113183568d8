#include <gtest/gtest.h>

#include <QCoreApplication>

// The port tests need an event loop; everything runs on this one thread.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
