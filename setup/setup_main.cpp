// DurvoSetup's entry point. The program takes no command-line arguments.
#include "setup_flow.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)
{
    runSetup();
    return 0;
}
