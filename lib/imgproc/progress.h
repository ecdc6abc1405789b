// Progress of long library routines (correlation, segmentation): a routine
// reports how far it has come through one process-wide hook, which the GUI
// sets to advance its progress bar. Reporting never changes a result. A
// request to cancel (a Cancel button, Ctrl-C) makes the routines that poll
// it stop at their next report and return their cancel status.
#ifndef IMGPROC_PROGRESS_H
#define IMGPROC_PROGRESS_H

// Called with the units done so far and the units in all (rows, temperature
// steps); `context` is what was handed to setProgressHook.
typedef void (*ProgressHook)(void *context, long done, long total);

// Installs `hook` (null removes it); returns nothing. Not re-entrant, like
// the rest of the library: set it on the thread that runs the routines.
void setProgressHook(ProgressHook hook, void *context);

// Reports `done` of `total` units to the hook, if one is set. Safe to call
// from the calling thread only.
void reportProgress(long done, long total);

// Asks the running routine to stop; safe to call from a signal handler or
// another thread. Installing a hook clears the request.
void cancelProgress();
// Whether a stop was asked since the hook was last installed.
bool progressCancelled();

#endif
