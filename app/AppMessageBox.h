// The program's message boxes: modal, with the program's title, on the calling thread. A sink
// put in their place takes the texts instead, so that a box neither blocks nor needs a user.
#pragma once
#include <windows.h>

int AppMessageBox(const char* text, UINT type = MB_OK);

using AppMessageBoxSink = int (*)(const char* text, UINT type);
// Null restores the real box.
void SetAppMessageBoxSink(AppMessageBoxSink sink);
