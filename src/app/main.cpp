#include "uProgram.h"

int main(int argc, char** argv)
{
    return RunQuillory(argc, argv);
}
