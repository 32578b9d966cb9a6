// The meter program: start-up, its four threads and the driver messages.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "meter_logic.h"

namespace afp {
class DriverPort;
}

namespace afmeter {

// Held while one report line is written and flushed; the meter's only lock.
extern std::recursive_mutex g_out_mutex;

// The driver port, connected by the first message that needs it and then
// kept for the life of the process; null until then.
extern afp::DriverPort* g_port;

// The curve state of the last load.
extern CurveSlots g_slots;

inline constexpr const char* kInstanceMutex = "Only_One_Instance_Of_AF";
inline constexpr const char* kKeepAliveMutex = "Keep_AF_Alive_Mutex";
inline constexpr const char* kPipeName = "Arcflex_Pipe";

// The program entry: returns 1 for a second instance and 8 when the curve
// cannot be loaded or uploaded; once the threads run it does not return.
int meter_main();

// Ends the whole process with exit code 1, once a load under way has
// answered (at most a few seconds: a driver that does not answer is not
// waited for longer).
[[noreturn]] void exit_meter();

// Reads the lookup-table file, refreshes the slots and uploads slot 0:
// 0 done, 10 no local application data folder, 16 upload failed.
int load_curve();

// Builds and sends set_curve from slot 0: 0 accepted (status exactly
// success), 5 no memory, 6 no port or refused.
int upload_curve();

// The set-up messages, in order; every failure is silent.
void send_setup_messages();

// One speed query: 0 with a, b, c set; 6 without a usable reply (a and b
// then 0.0); 5 when the request cannot be allocated.
int query_speed(double& a, double& b, double& c);

// The path of the lookup-table file below the given data folder.
std::string curve_file_path(const std::string& data_folder);

// Reads the lookup-table file at a UTF-8 path (the platform layer's
// spelling of folders); nothing when it cannot be opened or is not a
// regular file (a FIFO, a folder, a device).
std::optional<CurveFile> read_curve_at(const std::string& utf8_path);

// Writes one report line (line end and flush included) under the lock.
void write_line(std::string_view text);

void keep_alive_thread();
void pipe_thread();
void speed_thread();
void window_thread();

}  // namespace afmeter
