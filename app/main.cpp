#include <QApplication>

#include "wave_app.h"

int main(int argc, char** argv) {
    // The program takes no options: Qt sees only the program's own name.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    WaveApp app;
    app.InitInstance();
    return 0;
}
