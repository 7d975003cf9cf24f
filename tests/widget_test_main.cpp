#include <QApplication>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <clocale>
#include <cstring>

#include <langinfo.h>
#endif

int main(int argc, char *argv[])
{
    // Test runners start this binary without the test's environment; widgets need no screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);

    // The expected texts of files that are not UTF-8 are written in Windows-1252, the code page
    // of a UTF-8 locale; under a locale with a code page of its own they would read differently.
    // (Windows' own code page is the system's, which a process cannot change.)
#ifndef _WIN32
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
#endif

    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
