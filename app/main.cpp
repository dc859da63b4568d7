// Entry point: command line, start-up, the frame loop, shutdown.
#include "app/app.h"

int main(int argc, char** argv)
{
    (void)argc; (void)argv;
    return 0;   // replaced by the real entry as the foundation lands
}
