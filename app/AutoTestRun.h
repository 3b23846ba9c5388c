#pragma once
// The automatic test without a window: the real window's handlers, serial component and waits,
// driven as a technician would drive them, with the outcome as the exit code.
#include "Recorder.h"
#include "StationOptions.h"

class TForm1;

// Selects port and speed, ticks CashBox as asked, Start Protocol, waits for the identification,
// Auto Test, waits for the end of the chain (or the time-out, or a lost port), End Protocol;
// prints one line per measurement and the outcome. Returns the station's exit code.
int RunAutoTest(TForm1& form, mv62rec::Recorder& recorder, const StationOptions& options);
