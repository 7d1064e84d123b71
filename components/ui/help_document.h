// The help button's action in both deliverables: starts the registered PDF reader with the
// manual "VIDOV.EZU" beside the deliverable's file, or tells the user "PDF Reader not found!".
#pragma once

class QWidget;

// `OwnerWindow` owns the started program and the message; `Module` is an address inside the
// deliverable whose folder holds the manual (the plug-in passes one of its own functions), null
// for the running program. UI thread only.
void OpenHelpDocument(QWidget* OwnerWindow, const void* Module);
