// ThreadSanitizer cannot see the synchronisation inside the uninstrumented sound
// libraries below PortAudio (libpulse's own atomics and futexes, ALSA's plugins), so it
// reports their internal hand-overs as races. Those libraries are left out; our own code
// (the callback, the feeder, the control side) stays fully checked: reports through
// libportaudio frames are not suppressed.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulse.so\n"
           "race:libpulsecommon\n"
           "race:libasound.so\n"
           "race:libasound_module_pcm_pulse.so\n"
           "deadlock:libpulsecommon\n"
           "mutex:libpulsecommon\n";
}
