// The editor's start-up: process guards, data folders, the stop of a meter
// left over from an earlier run, and the order in which the state, the
// settings and the interface are built before the main loop.
#pragma once

#include <string>

namespace arcflex {

// Name of the meter's process as the process list reports it.
std::string meter_process_name();

// Creates the owned "Keep_AF_Alive_Mutex"; ends the process with exit code
// 1 at once when another editor holds it.
void take_single_instance();
// settingsdir and savesdir, created when missing; unblock_files() on the
// run that had to create the settings folder.
void make_data_folders();
// Tells a running meter of this user to quit, waits for it, terminates what
// is left; an error box and exit code 1 when one cannot be ended.
void stop_leftover_meter();

// An editor that ended with a change still unconfirmed (killed, or the
// machine went down) left the curve it replaced beside "p.dat": that is the
// curve to load and upload, so it is put back. One that does not read as a
// curve is set aside with that "p.dat", and the default curve is loaded.
// A put back that fails ends the start-up with its error box.
void put_back_kept_curve();
// Termination signals (SIGTERM, SIGHUP, SIGINT) close the editor as closing
// its main window does, a pending change taken back first.
void close_on_termination_signals();

// Every step of the start-up up to the main loop, in order.
void run_startup();

}  // namespace arcflex
