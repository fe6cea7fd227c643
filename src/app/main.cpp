// lirvane-toolbox [PROJECT.lvtb]: the desktop program.

#include "app/CDEDurivivuzevApp.h"

int main(int argc, char** argv)
{
    CDEDurivivuzevApp app(argc, argv);
    app.initInstance();
    return app.exec();
}
