#pragma once

namespace quolva::platform {

// Ends the process with `status` once its work is done and its files are closed: standard output and
// error are flushed, and the libraries' own clean-up at exit is skipped. Qt Multimedia's PulseAudio
// engine, torn down there with its main loop thread, now and then aborts on libpulse's assertion
// "m->io_events_please_scan == 0", turning a finished recording into a failed command.
[[noreturn]] void EndProcess(int status);

} // namespace quolva::platform
