// Owns one decode handle of the audio layer and frees it at scope end, unless
// ownership has passed on (Release). Used by whichever thread created it.
#pragma once

#include "Bass.h"

#include <utility>

class TDecodeHandle {
public:
    explicit TDecodeHandle(DWORD handle, bool music = false) : FHandle(handle), FMusic(music) {}
    ~TDecodeHandle()
    {
        if (FHandle == 0)
            return;
        // Nothing to do about a failure here: the handle is gone either way.
        if (FMusic)
            static_cast<void>(BASS_MusicFree(FHandle));
        else
            static_cast<void>(BASS_StreamFree(FHandle));
    }
    TDecodeHandle(const TDecodeHandle&) = delete;
    TDecodeHandle& operator=(const TDecodeHandle&) = delete;

    DWORD Get() const { return FHandle; }
    DWORD Release() { return std::exchange(FHandle, 0); }

private:
    DWORD FHandle;
    bool FMusic;
};
