#pragma once
// Message boxes have no owner; each returns once the user has dismissed it.
int showMessageBox(const char* text, const char* caption, unsigned flags);
void showFarewellBox();
void showHelpBox();
void showEmptyMemoryBox(int d);
