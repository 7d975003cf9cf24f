#include "no_hardware.h"

int main(int argc, char *argv[])
{
    installSimulatedPortForTests();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
