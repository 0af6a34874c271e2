// A quick check that the built foundation works on this machine: writes and
// reads back a settings file, and, with --gui, shows a window on the display.
#include "platform/core/Clock.h"
#include "platform/core/IniFile.h"
#include "platform/core/ProgramPath.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    char dir[] = "/tmp/kss-smoke-XXXXXX";
    if (!::mkdtemp(dir)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string file = std::string(dir) + "/smoke.ini";
    {
        platform::TMemIniFile ini(file);
        ini.WriteString("Generics", "ImageFileFormat", "PNG");
        ini.UpdateFile();
    }
    platform::TMemIniFile back(file);
    const bool iniOk = back.ReadString("GENERICS", "imagefileformat", "") == "PNG";
    ::unlink(file.c_str());
    ::rmdir(dir);
    platform::DateTime now = platform::Now();
    std::printf("program: %s\nsettings round trip: %s\nlocal time: %04d-%02d-%02d %02d:%02d:%02d\n",
                platform::ProgramFileName().c_str(), iniOk ? "ok" : "FAILED", now.Year, now.Month,
                now.Day, now.Hour, now.Minute, now.Second);
    if (!iniOk)
        return 1;

    if (argc > 1 && std::strcmp(argv[1], "--gui") == 0) {
        QApplication app(argc, argv);
        QLabel label("Korvane ScreenShot smoke test");
        label.setWindowTitle("kss-smoke");
        label.show();
        QTimer::singleShot(argc > 2 ? std::atoi(argv[2]) : 1500, &app, &QApplication::quit);
        return app.exec();
    }
    return 0;
}
