#include <QApplication>

#include "app/program_folder.h"
#include "ui/frm_mervok.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    mervok::frmMERVOK window(mervok::ProgramFolder());
    window.show();
    return app.exec();
}
