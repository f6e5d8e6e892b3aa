#include "OrvelloAppDelegate.h"

int main(int argc, char** argv)
{
    OrvelloAppDelegate delegate;
    return platform::ApplicationMain(argc, argv, &delegate);
}
