#include "components/ui/help_document.h"

#include <QString>

#include "components/help_launcher.h"
#include "components/ui/message_box.h"

void OpenHelpDocument(QWidget* OwnerWindow, const void* Module) {
    if (LaunchHelpDocument(OwnerWindow, HelpModulePath(Module)).started)
        return;
    // The toolkit's standard error dialog: its caption names the kind, one OK button.
    ShowMessageBox(OwnerWindow, QString::fromLatin1(kPdfReaderNotFound), QStringLiteral("Error"),
                   MB_ICONERROR | MB_OK);
}
