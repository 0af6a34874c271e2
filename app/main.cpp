// Korvane ScreenShot: a screen-capture tool that lives in the notification area.
#include "app/ProgramMain.h"

int main(int argc, char **argv)
{
    return app::ProgramMain(argc, argv);
}
