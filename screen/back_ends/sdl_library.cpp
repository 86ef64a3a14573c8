#include "screen/back_ends/sdl_library.h"

#include <dlfcn.h>

namespace screen {
namespace {

constexpr char libraryName[] = "libSDL2-2.0.so.0";

struct Loaded {
    SdlLibrary functions;
    std::string failure;  // empty when every function was found
};

Loaded load() {
    Loaded loaded;
    void* library = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        loaded.failure = std::string("SDL2 cannot be loaded: ") + (why ? why : libraryName);
        return loaded;
    }
    // Never closed: SDL keeps threads and handlers of its own to the end.
#define LISTER_SDL_LOOKUP(name)                                                                     \
    loaded.functions.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));             \
    if (!loaded.functions.name && loaded.failure.empty()) loaded.failure = "SDL2 lacks " #name;
    LISTER_SDL_FUNCTIONS(LISTER_SDL_LOOKUP)
#undef LISTER_SDL_LOOKUP
    return loaded;
}

}  // namespace

const SdlLibrary* loadSdl(std::string& why) {
    static const Loaded loaded = load();
    if (!loaded.failure.empty()) {
        why = loaded.failure;
        return nullptr;
    }
    return &loaded.functions;
}

}  // namespace screen
