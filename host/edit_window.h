// korva's main window for `korva edit`: a Qt main window whose native id the blocks find in
// their HostWindow field, so that their parameter dialogs are owned by it.
#pragma once

namespace korva {

// Registers the Qt main window with the command line (SetHostWindowFactory). The window uses
// the program's QApplication when it has one and otherwise makes one for the command; without
// a display (no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM) it refuses with a message instead
// of letting Qt end the program.
void InstallQtHostWindow();

}  // namespace korva
