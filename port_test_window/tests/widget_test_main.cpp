#include "no_hardware.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char *argv[])
{
    // Test runners start this binary without the test's environment; widgets need no screen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    installSimulatedPortForTests();

    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
