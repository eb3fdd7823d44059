#include "app/CuecarryApp.h"

// The one application object, built before the entry point runs.
CCuecarryApp theApp;
