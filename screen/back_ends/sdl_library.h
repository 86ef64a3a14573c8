// SDL2, loaded when a window is first wanted instead of when lister starts:
// the library and the fifty it brings along (sound, X, Wayland) cost every
// start about 5 ms, which a key script or a terminal never needs, and
// lister still runs headless or in a terminal where SDL2 is missing.
#pragma once

#include <SDL.h>

#include <string>

namespace screen {

// The SDL functions the window uses, called through this record.
#define LISTER_SDL_FUNCTIONS(X) \
    X(SDL_CloseAudioDevice) \
    X(SDL_CreateRenderer) \
    X(SDL_CreateTexture) \
    X(SDL_CreateWindow) \
    X(SDL_DestroyRenderer) \
    X(SDL_DestroyTexture) \
    X(SDL_DestroyWindow) \
    X(SDL_EventState) \
    X(SDL_GetCurrentVideoDriver) \
    X(SDL_GetError) \
    X(SDL_GetQueuedAudioSize) \
    X(SDL_GetRendererOutputSize) \
    X(SDL_GetWindowFlags) \
    X(SDL_GetWindowSize) \
    X(SDL_Init) \
    X(SDL_InitSubSystem) \
    X(SDL_OpenAudioDevice) \
    X(SDL_PauseAudioDevice) \
    X(SDL_PollEvent) \
    X(SDL_PushEvent) \
    X(SDL_QueueAudio) \
    X(SDL_Quit) \
    X(SDL_RaiseWindow) \
    X(SDL_RenderClear) \
    X(SDL_RenderCopy) \
    X(SDL_RenderPresent) \
    X(SDL_RenderSetIntegerScale) \
    X(SDL_RenderSetLogicalSize) \
    X(SDL_RestoreWindow) \
    X(SDL_SetHint) \
    X(SDL_SetHintWithPriority) \
    X(SDL_SetRenderDrawColor) \
    X(SDL_SetTextureBlendMode) \
    X(SDL_SetWindowFullscreen) \
    X(SDL_SetWindowSize) \
    X(SDL_ShowWindow) \
    X(SDL_StartTextInput) \
    X(SDL_UpdateTexture) \
    X(SDL_WaitEventTimeout)

struct SdlLibrary {
#define LISTER_SDL_POINTER(name) decltype(&::name) name = nullptr;
    LISTER_SDL_FUNCTIONS(LISTER_SDL_POINTER)
#undef LISTER_SDL_POINTER
};

// The library, loaded on the first call; null, with `why`, when it cannot
// be had. Process-wide, as the library itself.
const SdlLibrary* loadSdl(std::string& why);

}  // namespace screen
