// TavrelRec: records the default sound input into a WAV file.

#include "TRecorderForm.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    velbrin::tools::TRecorderForm form;
    form.show();
    return app.exec();
}
