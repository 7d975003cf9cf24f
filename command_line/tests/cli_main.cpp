// The command line alone, as `velmora` runs it when given a command.
#include "command_line.h"

int main(int argc, char **argv)
{
    return command_line::run(argc, argv, port::open);
}
