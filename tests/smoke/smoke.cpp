// The e2e harness check: shows a window for argv[2] ms (default 1500), then ends with code 0.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdlib>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel label("Korvane ScreenShot smoke test");
    label.setWindowTitle("kss-smoke");
    label.show();
    QTimer::singleShot(argc > 2 ? std::atoi(argv[2]) : 1500, &app, &QApplication::quit);
    return app.exec();
}
