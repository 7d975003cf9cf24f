#include "no_hardware.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include <langinfo.h>

int main(int argc, char *argv[])
{
    // Test runners start this binary without the test's environment; widgets need no screen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    installSimulatedPortForTests();

    QApplication app(argc, argv);

    // The expected texts of files that are not UTF-8 are written in Windows-1252, the code page
    // of a UTF-8 locale; under a locale with a code page of its own they would read differently.
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");

    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
