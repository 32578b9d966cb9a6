// AF_Driver_Installer: "/I" installs, "/U" uninstalls the afmouse driver.
#include <platform/sysfiles.h>

#include "installer.h"

int main(int argc, char** argv) {
  afinst::PlatformSystem sys;
  return afinst::run(sys, afp::command_line_arguments(argc, argv));
}
