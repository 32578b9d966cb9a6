// afmeter: hands the curve to the mouse driver and reports the mouse speed
// and the modifier keys to the editor. The command line is ignored.
#include "meter.h"

int main() { return afmeter::meter_main(); }
