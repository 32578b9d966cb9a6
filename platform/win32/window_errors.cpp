#include "platform/window_errors.h"

namespace afp {

// Windows reports no such errors to the process.
void ignore_errors_about_gone_windows() {}

}  // namespace afp
