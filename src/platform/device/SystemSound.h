#pragma once

// System sounds. Sound 1104 is the keyboard-style click; other ids are ignored. Playing never
// blocks the caller: the sound is started on the main thread's event loop. It is silent where
// there is no audio output and on the offscreen platform (headless runs and tests).
//
// Threads: play() and playCount() from any thread; setMuted() from any thread.

namespace platform {

class SystemSound {
public:
    static constexpr int clickSoundId = 1104;

    static void play(int soundId);
    // How many known sounds were requested so far (heard or not).
    static int playCount();
    static void setMuted(bool muted);
};

} // namespace platform
