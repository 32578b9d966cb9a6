// The editor's side of the meter process: its start with the output piped
// back, the one-word pipe commands, the reader thread that turns report
// lines into queue items, the end of the meter's output, and the exit.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace arcflex {

// The queue item of one report line: x when x < 0 (an event code), else the
// speed that axis_mode selects (0: the larger of x and y, 1: x, 2: y).
// Nothing for a line whose first two blank-separated fields are not finite
// numbers, or that is not UTF-8.
std::optional<double> meter_line_item(std::string_view line, int axis_mode);

// Starts the meter hidden with its output piped back ("Unable to open
// afmeter.exe." when it cannot), the reader thread, and the first tick of
// the update loop.
void start_sub();
// Sends "load" or "quit" on the meter's pipe, up to 80 attempts 50 ms apart;
// an error box and exit code 1 when none gets through.
void tell_sub(const std::string& msg);
// Pauses the speed display and asks the meter to reload "p.dat".
void restart_sub();
// The exit function: the close request of the main window and File > Exit.
void kill();
// Waits for the reader thread at most 0.25 s.
void kill_threads();
// The longest an exit waits for the driver's answers: the driver wait's 36
// polls of 100 ms.
inline constexpr std::chrono::milliseconds kExitDriverWait{3600};
// Waits, at most kExitDriverWait, until the reader thread has seen the
// meter's answer to every "load" sent, or the meter's output has ended;
// false on the time limit. Needs no Python; on the GUI thread the signal
// handlers still run while it waits (a second signal ends the exit).
bool wait_for_load_answers();
// The reader thread's count of the meter's answers to loads, from the queue
// item of each report line: "-99 -99" (applied) and "-77 -77" (failed).
void note_meter_answer(double item);
// Records that the load just sent takes a change back from the driver.
void note_take_back_load();
// Records that a change was taken back in "p.dat" but no load could carry
// it to the driver (the meter is gone).
void note_take_back_lost();
// Whether the driver applied the latest take-back load (true when none
// was sent); "-77 -77" applied nothing. take_back_answered() first waits
// (wait_for_load_answers).
bool take_back_applied();
bool take_back_answered();
// Whether the latest load sent is a take-back that the driver refused.
bool take_back_refused();
// What an exit says when the driver may still hold the unconfirmed change:
// whether the take-back was refused, not answered or never reached it.
std::string take_back_unapplied_text();
// Puts that on stderr, once in the process; whether it was put there.
void say_take_back_unanswered();
bool take_back_unanswered_said();
// What the GUI thread does once the reader reported the meter's end: the
// exit code's boxes, then the process ends with exit code 1. For code 8 it
// returns while the driver installer runs; the end comes after its box.
void meter_died();

// Number of attempts the last tell_sub needed (read by tests).
int last_tell_attempts();

}  // namespace arcflex
