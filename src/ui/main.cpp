#include "ui/CVornakApp.h"

int main(int argc, char** argv) {
    CVornakApp app(argc, argv);
    return app.InitInstance();
}
