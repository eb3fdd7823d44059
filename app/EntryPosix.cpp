#include "framework/CWinApp.h"

// The command line is not read: the tool takes no options.
int main() { return AfxWinMain(nullptr, nullptr, nullptr, 0); }
