// What the system's limits allow a run beyond its calls.
#pragma once

// How many caption workers fit within the process's limits when `asked` are
// wanted and the captions go below `destinationRoot`: `asked`, or fewer, at
// least one. On Linux each worker holds open the folders of its latest
// caption folder, from the top of the file system down, and the copy's own
// files, so the limit on open files bounds how many can work at once; one
// worker needs no more than the walk alone. Windows sets no such limit on
// a run: `asked`.
int CaptionWorkersThatFit(int asked, const wchar_t* destinationRoot);
