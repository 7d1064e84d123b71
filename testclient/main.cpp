// dravik, the interactive OPC test client: one window, one connection at a time.
#include <QApplication>

#include "components/qncomps_library.h"
#include "platform/com/com.h"
#include "testclient/dravik_main_window.h"

int main(int argc, char** argv) {
    // The shared components start before any window exists (full stop as decimal separator,
    // string library "QNSTRING7.DLL", suite settings), and the window's thread joins a
    // single-threaded apartment, on which the server's shutdown request arrives.
    QnCompsLibrary components(SuiteVersion::Quintor7);
    ComInit com(COINIT_APARTMENTTHREADED);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kProgramTitle));
    TForm1 form;
    form.show();
    return app.exec();
}
