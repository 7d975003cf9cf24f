// The command line alone, as `velmora` runs it when given a command.
#include "command_line.h"
#include "doctor.h"

int main(int argc, char **argv)
{
    return command_line::run(argc, argv, doctor::openPorts);
}
